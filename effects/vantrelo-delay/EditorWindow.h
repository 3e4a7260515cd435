// The editor's native window: a child of the window the host hands to effEditOpen (a window
// handle on Windows, an X11 window id on Linux), which renders the editor's picture and passes
// the left mouse button to the editor. One implementation per platform; without a display,
// or when the host's window is not a window, there is none and the editor stays headless.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "EditorLayout.h"

namespace vantrelo {

// What the window needs from the editor. [main] for every operation. Coordinates are pixels
// from the window's top-left corner.
class EditorWindowClient {
public:
    virtual std::vector<DrawCommand> Picture(int32_t width, int32_t height) = 0;
    virtual double Scale() const = 0;
    virtual void MouseDown(int32_t x, int32_t y) = 0;
    virtual void MouseMove(int32_t x, int32_t y) = 0;
    // Also sent when the window loses the mouse in the middle of a drag.
    virtual void MouseUp(int32_t x, int32_t y) = 0;

protected:
    ~EditorWindowClient() = default;
};

class EditorWindow {
public:
    // [main] A child window of `parent` of the given size, shown. Null when there is no display
    // or `parent` is not a live window (on Windows: of this process).
    static std::unique_ptr<EditorWindow> Open(void* parent, int32_t width, int32_t height, EditorWindowClient& client);
    // [main] Destroys the window and frees everything it made. Safe when the host destroyed its
    // own window first.
    virtual ~EditorWindow() = default;

    // [main] Handles what happened since the last call. On Linux the editor's events are read
    // here, so the host's idle ticks drive it; on Windows they arrive through the host's own
    // message loop and this does nothing.
    virtual void HandleEvents() = 0;
    // [main] Draws the client's picture now (not at some later paint).
    virtual void Repaint() = 0;
    // [main] Resizes the window and draws it at the new size.
    virtual void Resize(int32_t width, int32_t height) = 0;
};

}  // namespace vantrelo
