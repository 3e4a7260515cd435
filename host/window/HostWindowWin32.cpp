// The host's plug-in window on Windows: a top-level Win32 window. A view receives its handle and
// creates its child windows in it; their messages go through this window's message loop.
#include <windows.h>

#include "HostWindow.h"

namespace aaxhost {
namespace {

constexpr const char* kClassName = "aaxhostPluginWindow";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

class Win32HostWindow final : public HostWindow {
public:
    ~Win32HostWindow() override {
        if (window_ != nullptr) DestroyWindow(window_);
    }

    bool Create(const std::string& title, int32_t width, int32_t height) {
        static const bool registered = [] {
            WNDCLASSA windowClass{};
            windowClass.lpfnWndProc = &Procedure;
            windowClass.hInstance = GetModuleHandleA(nullptr);
            windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
            windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
            windowClass.lpszClassName = kClassName;
            return RegisterClassA(&windowClass) != 0;
        }();
        if (!registered) return false;
        const RECT outer = Outer(width, height);
        window_ = CreateWindowExA(0, kClassName, title.c_str(), kStyle, 40, 40, outer.right - outer.left,
                                  outer.bottom - outer.top, nullptr, nullptr, GetModuleHandleA(nullptr), this);
        if (window_ == nullptr) return false;
        ShowWindow(window_, SW_SHOWNORMAL);
        UpdateWindow(window_);
        return true;
    }

    void* ViewHandle() const override { return window_; }

    bool HandleEvents(std::vector<AAX_Rect>* exposed) override {
        exposed_ = exposed;
        MSG message;
        // Every window of this thread: the view's child windows get their input here.
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        exposed_ = nullptr;
        return !closed_;
    }

    void SetClientSize(int32_t width, int32_t height) override {
        const RECT outer = Outer(width, height);
        SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void ClientSize(int32_t* width, int32_t* height) const override {
        RECT client{};
        GetClientRect(window_, &client);
        *width = client.right - client.left;
        *height = client.bottom - client.top;
    }

    void ClientOrigin(int32_t* x, int32_t* y) const override {
        POINT origin{0, 0};
        ClientToScreen(window_, &origin);
        *x = origin.x;
        *y = origin.y;
    }

    bool Capture(WindowPixels* pixels, std::string* error) const override {
        int32_t width = 0, height = 0;
        ClientSize(&width, &height);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        HDC source = GetDC(window_);
        HDC copy = CreateCompatibleDC(source);
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bool copied = false;
        if (bitmap != nullptr && bits != nullptr) {
            HGDIOBJ old = SelectObject(copy, bitmap);
            copied = BitBlt(copy, 0, 0, width, height, source, 0, 0, SRCCOPY) != 0;
            GdiFlush();
            if (copied) {
                pixels->width = width;
                pixels->height = height;
                pixels->rgba.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 255);
                const auto* bgra = static_cast<const uint8_t*>(bits);
                for (size_t i = 0; i < static_cast<size_t>(width) * static_cast<size_t>(height); ++i) {
                    pixels->rgba[i * 4 + 0] = bgra[i * 4 + 2];
                    pixels->rgba[i * 4 + 1] = bgra[i * 4 + 1];
                    pixels->rgba[i * 4 + 2] = bgra[i * 4 + 0];
                }
            }
            SelectObject(copy, old);
        }
        if (bitmap != nullptr) DeleteObject(bitmap);
        DeleteDC(copy);
        ReleaseDC(window_, source);
        if (!copied) *error = "the window's contents could not be read";
        return copied;
    }

    int32_t ChildWindowCount() const override {
        int32_t count = 0;
        EnumChildWindows(
            window_,
            [](HWND, LPARAM counter) -> BOOL {
                ++*reinterpret_cast<int32_t*>(counter);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&count));
        return count;
    }

private:
    static RECT Outer(int32_t width, int32_t height) {
        RECT outer{0, 0, width > 0 ? width : 1, height > 0 ? height : 1};
        AdjustWindowRectEx(&outer, kStyle, FALSE, 0);
        return outer;
    }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
        }
        auto* self = reinterpret_cast<Win32HostWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
        switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            const RECT& area = paint.rcPaint;
            if (self->exposed_ != nullptr && area.right > area.left && area.bottom > area.top) {
                self->exposed_->push_back({static_cast<float>(area.top), static_cast<float>(area.left),
                                           static_cast<float>(area.right - area.left),
                                           static_cast<float>(area.bottom - area.top)});
            }
            EndPaint(window, &paint);
            return 0;
        }
        case WM_CLOSE:
            self->closed_ = true;  // the owner closes the view first, then destroys the window
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            self->window_ = nullptr;
            break;
        default:
            break;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    HWND window_ = nullptr;
    std::vector<AAX_Rect>* exposed_ = nullptr;
    bool closed_ = false;
};

}  // namespace

std::unique_ptr<HostWindow> HostWindow::Create(const std::string& title, int32_t width, int32_t height,
                                               std::string* error) {
    auto window = std::make_unique<Win32HostWindow>();
    if (!window->Create(title, width, height)) {
        *error = "no display: a window could not be created";
        return nullptr;
    }
    return window;
}

}  // namespace aaxhost
