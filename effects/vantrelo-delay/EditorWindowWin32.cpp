// The editor's window on Windows: a child window of the host's window, painted with GDI through
// an off-screen bitmap. Its messages arrive through the host's message loop on the main thread.
#include <windows.h>

#include <cstdint>
#include <memory>

#include "EditorWindow.h"

namespace vantrelo {
namespace {

constexpr const char* kClassName = "VantreloDelayEditor";
// The window class is registered while at least one editor window exists, so the library
// leaves nothing registered behind once its editors are closed.
int openWindows = 0;

HINSTANCE ThisLibrary() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisLibrary), &module);
    return module;
}

COLORREF ToColorRef(uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

class Win32EditorWindow final : public EditorWindow {
public:
    explicit Win32EditorWindow(EditorWindowClient& client) : client_(client) {}

    ~Win32EditorWindow() override {
        // The host may have destroyed its window, and ours with it, already.
        if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
        if (font_ != nullptr) DeleteObject(font_);
        if (--openWindows == 0) UnregisterClassA(kClassName, ThisLibrary());
    }

    bool Create(HWND parent, int32_t width, int32_t height) {
        if (openWindows++ == 0) {
            WNDCLASSA windowClass{};
            windowClass.lpfnWndProc = &Procedure;
            windowClass.hInstance = ThisLibrary();
            windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
            windowClass.lpszClassName = kClassName;
            if (RegisterClassA(&windowClass) == 0) return false;
        }
        window_ = CreateWindowExA(0, kClassName, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, width, height,
                                  parent, nullptr, ThisLibrary(), this);
        return window_ != nullptr;
    }

    void HandleEvents() override {}

    // Both do nothing once the host has destroyed its window, and ours with it: a null window
    // would mean the whole desktop.
    void Repaint() override {
        if (window_ != nullptr) RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }

    void Resize(int32_t width, int32_t height) override {
        if (window_ == nullptr) return;
        SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        Repaint();
    }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
        }
        auto* self = reinterpret_cast<Win32EditorWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
        const auto x = static_cast<int32_t>(static_cast<short>(LOWORD(lParam)));
        const auto y = static_cast<int32_t>(static_cast<short>(HIWORD(lParam)));
        switch (message) {
        case WM_PAINT:
            self->Paint();
            return 0;
        case WM_ERASEBKGND:
            return 1;  // every pixel is painted
        case WM_LBUTTONDOWN:
            SetCapture(window);
            self->lastX_ = x;
            self->lastY_ = y;
            self->client_.MouseDown(x, y);
            return 0;
        case WM_MOUSEMOVE:
            if (GetCapture() == window) {
                self->lastX_ = x;
                self->lastY_ = y;
                self->client_.MouseMove(x, y);
            }
            return 0;
        case WM_LBUTTONUP:
            self->client_.MouseUp(x, y);
            if (GetCapture() == window) ReleaseCapture();
            return 0;
        case WM_CAPTURECHANGED:
            self->client_.MouseUp(self->lastX_, self->lastY_);  // nothing when no drag is under way
            return 0;
        case WM_DESTROY:
            if (GetCapture() == window) ReleaseCapture();  // ends a drag while the editor still exists
            break;
        case WM_NCDESTROY:
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            self->window_ = nullptr;
            break;
        default:
            break;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    void Paint() {
        PAINTSTRUCT paint;
        HDC target = BeginPaint(window_, &paint);
        RECT client{};
        GetClientRect(window_, &client);
        const int32_t width = client.right - client.left;
        const int32_t height = client.bottom - client.top;
        if (target != nullptr && width > 0 && height > 0) {
            HDC canvas = CreateCompatibleDC(target);
            HBITMAP bitmap = CreateCompatibleBitmap(target, width, height);
            HGDIOBJ oldBitmap = SelectObject(canvas, bitmap);
            HGDIOBJ oldFont = SelectObject(canvas, Font());
            SetBkMode(canvas, TRANSPARENT);
            SetTextAlign(canvas, TA_BASELINE | TA_LEFT);
            for (const DrawCommand& command : client_.Picture(width, height)) {
                const EditorBox& box = command.box;
                const RECT area{box.x, box.y, box.x + box.width, box.y + box.height};
                if (command.kind == DrawCommand::kText) {
                    SetTextColor(canvas, ToColorRef(command.colour));
                    TextOutA(canvas, box.x, box.y, command.text.c_str(), static_cast<int>(command.text.size()));
                    continue;
                }
                HBRUSH brush = CreateSolidBrush(ToColorRef(command.colour));
                if (command.kind == DrawCommand::kFill) {
                    FillRect(canvas, &area, brush);
                } else {
                    FrameRect(canvas, &area, brush);
                }
                DeleteObject(brush);
            }
            BitBlt(target, 0, 0, width, height, canvas, 0, 0, SRCCOPY);
            SelectObject(canvas, oldFont);
            SelectObject(canvas, oldBitmap);
            DeleteObject(bitmap);
            DeleteDC(canvas);
        }
        EndPaint(window_, &paint);
    }

    HFONT Font() {
        const int32_t pixels = TextPixels(client_.Scale());
        if (font_ != nullptr && fontPixels_ == pixels) return font_;
        if (font_ != nullptr) DeleteObject(font_);
        fontPixels_ = pixels;
        font_ = CreateFontA(-pixels, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Tahoma");
        return font_;
    }

    EditorWindowClient& client_;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    int32_t fontPixels_ = 0;
    int32_t lastX_ = 0;
    int32_t lastY_ = 0;
};

}  // namespace

std::unique_ptr<EditorWindow> EditorWindow::Open(void* parent, int32_t width, int32_t height,
                                                 EditorWindowClient& client) {
    HWND parentWindow = static_cast<HWND>(parent);
    if (parentWindow == nullptr || !IsWindow(parentWindow)) return nullptr;
    // A plug-in's editor lives in its host's window; a handle of another process (or a value
    // that only happens to name a window) is not taken.
    DWORD process = 0;
    GetWindowThreadProcessId(parentWindow, &process);
    if (process != GetCurrentProcessId()) return nullptr;
    auto window = std::make_unique<Win32EditorWindow>(client);
    if (!window->Create(parentWindow, width, height)) return nullptr;
    return window;
}

}  // namespace vantrelo
