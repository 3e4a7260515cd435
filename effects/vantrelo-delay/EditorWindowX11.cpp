// The editor's window on Linux: a child X11 window of the window id the host gives, on a
// display connection of the editor's own, whose events are read at each idle tick. The picture
// is drawn into a pixmap and copied to the window, so exposures are answered without drawing.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <memory>

#include "EditorWindow.h"

namespace vantrelo {
namespace {

// Xlib reports protocol errors through one process-wide handler, whose default ends the
// process. While the editor talks to the server, errors on its own connection are counted
// instead (a window the host has already destroyed must not take the host down with it);
// errors on any other connection go to the handler that was installed before. Main thread
// only, like every editor call. Traps nest: only the outermost one installs the handler.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display) : display_(display), outer_(active_) {
        if (outer_ == nullptr) {
            XSync(display_, False);
            previous_ = XSetErrorHandler(&Handle);
        }
        active_ = this;
    }
    ~ErrorTrap() {
        if (outer_ == nullptr) {
            if (display_ != nullptr) XSync(display_, False);
            XSetErrorHandler(previous_);
        } else {
            outer_->errors_ += errors_;
        }
        active_ = outer_;
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Whether anything sent so far under this trap failed.
    bool Failed() {
        XSync(display_, False);
        return errors_ != 0;
    }

    // The connection has been closed under the trap: the handler that was installed before is
    // put back without talking to the server again.
    void ConnectionClosed() { display_ = nullptr; }

private:
    static int Handle(Display* display, XErrorEvent* event) {
        ErrorTrap* outermost = active_;
        while (outermost != nullptr && outermost->outer_ != nullptr) outermost = outermost->outer_;
        if (active_ != nullptr && display == active_->display_) {
            ++active_->errors_;
            return 0;
        }
        XErrorHandler previous = outermost != nullptr ? outermost->previous_ : nullptr;
        return previous != nullptr ? previous(display, event) : 0;
    }

    static inline ErrorTrap* active_ = nullptr;
    Display* display_;
    ErrorTrap* outer_;
    XErrorHandler previous_ = nullptr;
    int errors_ = 0;
};

// The core fonts tried at each zoom, nearest to the editor's text height first. "fixed" is
// built into every X server.
const char* const kFonts1[] = {"7x13bold", "7x13", "fixed"};
const char* const kFonts15[] = {"10x20", "9x15bold", "fixed"};
const char* const kFonts2[] = {"12x24", "10x20", "fixed"};

unsigned long ScaleToMask(uint32_t value8, unsigned long mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    const unsigned long top = mask >> shift;
    return ((value8 * top + 127) / 255) << shift;
}

class X11EditorWindow final : public EditorWindow {
public:
    X11EditorWindow(Display* display, EditorWindowClient& client) : display_(display), client_(client) {}

    ~X11EditorWindow() override {
        // Destroyed from inside one of the client's callbacks (the host withdrew the view while
        // the editor reported a gesture): the event loop under way must stop.
        if (destroyedWhileHandling_ != nullptr) *destroyedWhileHandling_ = true;
        {
            ErrorTrap trap(display_);
            if (font_ != nullptr) XFreeFont(display_, font_);
            if (pixmap_ != 0) XFreePixmap(display_, pixmap_);
            if (gc_ != nullptr) XFreeGC(display_, gc_);
            if (window_ != 0) XDestroyWindow(display_, window_);
        }
        XCloseDisplay(display_);
    }

    bool Create(Window parent, int32_t width, int32_t height) {
        ErrorTrap trap(display_);
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display_, parent, &attributes) == 0 || trap.Failed()) return false;
        visual_ = attributes.visual;
        depth_ = attributes.depth;
        colormap_ = attributes.colormap;
        window_ = XCreateSimpleWindow(display_, parent, 0, 0, Extent(width), Extent(height), 0, 0,
                                      Pixel(kColourBackground));
        if (trap.Failed()) {
            window_ = 0;
            return false;
        }
        XSelectInput(display_, window_,
                     ExposureMask | ButtonPressMask | ButtonReleaseMask | Button1MotionMask | StructureNotifyMask);
        gc_ = XCreateGC(display_, window_, 0, nullptr);
        XSetGraphicsExposures(display_, gc_, False);  // copies from the pixmap never need redrawing
        width_ = width;
        height_ = height;
        CreatePixmap();
        LoadFont();
        XMapWindow(display_, window_);
        Draw();
        return !trap.Failed();
    }

    // Each mouse event goes to the client, which reports gestures to the host; the host may close
    // the editor, and so destroy this window, before the call returns. Nothing of the window is
    // touched after that: the loop ends on a flag of its own frame.
    void HandleEvents() override {
        bool destroyed = false;
        destroyedWhileHandling_ = &destroyed;
        ErrorTrap trap(display_);
        bool exposed = false;
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            switch (event.type) {
            case Expose:
                exposed = exposed || event.xexpose.count == 0;
                break;
            case ButtonPress:
                if (event.xbutton.button == Button1) client_.MouseDown(event.xbutton.x, event.xbutton.y);
                break;
            case MotionNotify:
                client_.MouseMove(event.xmotion.x, event.xmotion.y);
                break;
            case ButtonRelease:
                if (event.xbutton.button == Button1) client_.MouseUp(event.xbutton.x, event.xbutton.y);
                break;
            default:
                break;
            }
            if (destroyed) {
                trap.ConnectionClosed();
                return;
            }
        }
        if (exposed) CopyToWindow();
        destroyedWhileHandling_ = nullptr;
    }

    void Repaint() override {
        ErrorTrap trap(display_);
        Draw();
    }

    void Resize(int32_t width, int32_t height) override {
        ErrorTrap trap(display_);
        width_ = width;
        height_ = height;
        XResizeWindow(display_, window_, Extent(width), Extent(height));
        if (pixmap_ != 0) XFreePixmap(display_, pixmap_);
        CreatePixmap();
        LoadFont();
        Draw();
    }

private:
    static unsigned int Extent(int32_t size) { return size > 0 ? static_cast<unsigned int>(size) : 1u; }

    void CreatePixmap() {
        pixmap_ = XCreatePixmap(display_, window_, Extent(width_), Extent(height_), static_cast<unsigned int>(depth_));
    }

    void LoadFont() {
        const double scale = client_.Scale();
        if (font_ != nullptr && fontScale_ == scale) return;
        if (font_ != nullptr) XFreeFont(display_, font_);
        font_ = nullptr;
        fontScale_ = scale;
        const char* const* names = scale >= 2.0 ? kFonts2 : scale >= 1.5 ? kFonts15 : kFonts1;
        for (int i = 0; i < 3 && font_ == nullptr; ++i) font_ = XLoadQueryFont(display_, names[i]);
        if (font_ != nullptr) XSetFont(display_, gc_, font_->fid);
    }

    unsigned long Pixel(uint32_t rgb) {
        const uint32_t red = (rgb >> 16) & 0xFF, green = (rgb >> 8) & 0xFF, blue = rgb & 0xFF;
        if (visual_ != nullptr && (visual_->c_class == TrueColor || visual_->c_class == DirectColor)) {
            return ScaleToMask(red, visual_->red_mask) | ScaleToMask(green, visual_->green_mask) |
                   ScaleToMask(blue, visual_->blue_mask);
        }
        XColor colour{};
        colour.red = static_cast<unsigned short>(red * 257);
        colour.green = static_cast<unsigned short>(green * 257);
        colour.blue = static_cast<unsigned short>(blue * 257);
        colour.flags = DoRed | DoGreen | DoBlue;
        // Colours allocated here go with the connection when the editor closes.
        return XAllocColor(display_, colormap_, &colour) != 0 ? colour.pixel : 0;
    }

    void Draw() {
        for (const DrawCommand& command : client_.Picture(width_, height_)) {
            XSetForeground(display_, gc_, Pixel(command.colour));
            const EditorBox& box = command.box;
            switch (command.kind) {
            case DrawCommand::kFill:
                if (box.width > 0 && box.height > 0) {
                    XFillRectangle(display_, pixmap_, gc_, box.x, box.y, Extent(box.width), Extent(box.height));
                }
                break;
            case DrawCommand::kFrame:
                if (box.width > 1 && box.height > 1) {
                    XDrawRectangle(display_, pixmap_, gc_, box.x, box.y, Extent(box.width - 1), Extent(box.height - 1));
                }
                break;
            case DrawCommand::kText:
                XDrawString(display_, pixmap_, gc_, box.x, box.y, command.text.c_str(),
                            static_cast<int>(command.text.size()));
                break;
            }
        }
        CopyToWindow();
    }

    void CopyToWindow() {
        XCopyArea(display_, pixmap_, window_, gc_, 0, 0, Extent(width_), Extent(height_), 0, 0);
        XFlush(display_);
    }

    Display* display_;
    EditorWindowClient& client_;
    Window window_ = 0;
    Pixmap pixmap_ = 0;
    GC gc_ = nullptr;
    XFontStruct* font_ = nullptr;
    double fontScale_ = 0.0;
    Visual* visual_ = nullptr;
    Colormap colormap_ = 0;
    int depth_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    bool* destroyedWhileHandling_ = nullptr;  // set while HandleEvents runs
};

}  // namespace

std::unique_ptr<EditorWindow> EditorWindow::Open(void* parent, int32_t width, int32_t height,
                                                 EditorWindowClient& client) {
    // Resource ids have their top three bits clear; anything else (such as a pointer a host
    // without windows makes up) is not a window, and the server is not asked about it.
    const auto id = reinterpret_cast<uintptr_t>(parent);
    if (id == 0 || id > 0x1FFFFFFFu) return nullptr;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return nullptr;
    auto window = std::make_unique<X11EditorWindow>(display, client);
    if (!window->Create(static_cast<Window>(id), width, height)) return nullptr;
    return window;
}

}  // namespace vantrelo
