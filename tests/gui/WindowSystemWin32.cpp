#include <windows.h>

#include "WindowSystem.h"

namespace guitest {
namespace {

class SendInputMouse final : public SyntheticMouse {
public:
    void MoveTo(int32_t x, int32_t y) override {
        x_ = x;
        y_ = y;
        Send(0);
    }
    void Press() override { Send(MOUSEEVENTF_LEFTDOWN); }
    void Release() override { Send(MOUSEEVENTF_LEFTUP); }

private:
    // Absolute positions are given on a 0..65535 scale over the primary screen.
    void Send(DWORD button) {
        const int width = GetSystemMetrics(SM_CXSCREEN);
        const int height = GetSystemMetrics(SM_CYSCREEN);
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dx = static_cast<LONG>((static_cast<int64_t>(x_) * 65535 + (width - 1) / 2) / (width - 1));
        input.mi.dy = static_cast<LONG>((static_cast<int64_t>(y_) * 65535 + (height - 1) / 2) / (height - 1));
        input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | button;
        SendInput(1, &input, sizeof input);
    }

    int32_t x_ = 0;
    int32_t y_ = 0;
};

class Win32Patch final : public ColourPatch {
public:
    explicit Win32Patch(HWND window) : window_(window) {}
    ~Win32Patch() override { DestroyWindow(window_); }

private:
    HWND window_;
};

}  // namespace

std::unique_ptr<ColourPatch> ColourPatch::Create(void* parent, int32_t x, int32_t y, int32_t width, int32_t height,
                                                 uint32_t colour, std::string* error) {
    // One window class per colour: the class's brush paints it.
    const std::string name = "aaxwPatch" + std::to_string(colour);
    WNDCLASSA windowClass{};
    if (!GetClassInfoA(GetModuleHandleA(nullptr), name.c_str(), &windowClass)) {
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hbrBackground = CreateSolidBrush(RGB(colour >> 16 & 0xFF, colour >> 8 & 0xFF, colour & 0xFF));
        windowClass.lpszClassName = name.c_str();
        RegisterClassA(&windowClass);
    }
    HWND window = CreateWindowExA(0, name.c_str(), "", WS_CHILD | WS_VISIBLE, x, y, width, height,
                                  static_cast<HWND>(parent), nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr) {
        *error = "CreateWindowEx failed";
        return nullptr;
    }
    return std::make_unique<Win32Patch>(window);
}

std::unique_ptr<SyntheticMouse> SyntheticMouse::Create(std::string* error) {
    if (GetSystemMetrics(SM_CXSCREEN) < 2 || GetSystemMetrics(SM_CYSCREEN) < 2) {
        *error = "no screen";
        return nullptr;
    }
    return std::make_unique<SendInputMouse>();
}

bool CountWindowSystemUse(WindowSystemUse* use, std::string* /*error*/) {
    int64_t windows = 0;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND, LPARAM counter) -> BOOL {
            ++*reinterpret_cast<int64_t*>(counter);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    use->owners = windows;
    use->objects = static_cast<int64_t>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) +
                   static_cast<int64_t>(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS));
    return true;
}

std::string Describe(const WindowSystemUse& use) {
    return std::to_string(use.owners) + " windows of the thread, " + std::to_string(use.objects) +
           " GDI and USER objects";
}

}  // namespace guitest
