// The host's plug-in window: a top-level native window (Win32 on Windows, X11 on Linux) whose
// handle is given to a view as its native-window container. It reports the areas the system
// asks to be drawn, follows the view's size, and can read back what is on it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "interfaces/aax_effect.h"

namespace aaxhost {

// Pixels read from a window: rows top to bottom, four bytes per pixel (red, green, blue, 255).
struct WindowPixels {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgba;

    uint32_t At(int32_t x, int32_t y) const;  // 0xRRGGBB
};

class HostWindow {
public:
    // [main] A shown window with a client area of the given size. Null with a one-line reason
    // when there is no display to open it on.
    static std::unique_ptr<HostWindow> Create(const std::string& title, int32_t width, int32_t height,
                                              std::string* error);
    virtual ~HostWindow() = default;

    // [main] What a view container hands out as the native window: the HWND, or on Linux the
    // X11 window id.
    virtual void* ViewHandle() const = 0;
    // [main] Handles the window system's pending events. Areas to be drawn are appended to
    // `exposed`. False once the user has asked to close the window.
    virtual bool HandleEvents(std::vector<AAX_Rect>* exposed) = 0;
    // [main]
    virtual void SetClientSize(int32_t width, int32_t height) = 0;
    // [main] The client area's size as the window system has it.
    virtual void ClientSize(int32_t* width, int32_t* height) const = 0;
    // [main] The client area's top-left corner on the screen.
    virtual void ClientOrigin(int32_t* x, int32_t* y) const = 0;
    // [main] What the client area shows now, child windows included.
    virtual bool Capture(WindowPixels* pixels, std::string* error) const = 0;
    // [main] The child windows inside the client area (a view's windows), for leak checks.
    virtual int32_t ChildWindowCount() const = 0;
};

}  // namespace aaxhost
