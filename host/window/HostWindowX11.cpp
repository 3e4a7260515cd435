// The host's plug-in window on Linux: a top-level X11 window. A view receives its window id and
// opens its own child window in it, on its own display connection.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>

#include "HostWindow.h"

namespace aaxhost {
namespace {

// The offset of a colour channel within a pixel, read from the visual's mask.
int MaskShift(unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

uint8_t Channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    const int shift = MaskShift(mask);
    const unsigned long top = mask >> shift;
    return static_cast<uint8_t>(((pixel & mask) >> shift) * 255 / top);
}

class X11HostWindow final : public HostWindow {
public:
    X11HostWindow(Display* display, Window window) : display_(display), window_(window) {
        deleteAtom_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(display_, window_, &deleteAtom_, 1);
        XSelectInput(display_, window_, ExposureMask | StructureNotifyMask);
    }

    ~X11HostWindow() override {
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }

    void Show(int32_t width, int32_t height) {
        SetClientSize(width, height);
        XMapWindow(display_, window_);
        // The view is attached to a window that is on the screen.
        XEvent event;
        do {
            XWindowEvent(display_, window_, StructureNotifyMask, &event);
        } while (event.type != MapNotify);
    }

    void* ViewHandle() const override { return reinterpret_cast<void*>(static_cast<uintptr_t>(window_)); }

    bool HandleEvents(std::vector<AAX_Rect>* exposed) override {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == Expose && exposed != nullptr) {
                const XExposeEvent& area = event.xexpose;
                exposed->push_back({static_cast<float>(area.y), static_cast<float>(area.x),
                                    static_cast<float>(area.width), static_cast<float>(area.height)});
            } else if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == deleteAtom_) {
                closed_ = true;
            }
        }
        return !closed_;
    }

    void SetClientSize(int32_t width, int32_t height) override {
        const int w = width > 0 ? width : 1;
        const int h = height > 0 ? height : 1;
        // A fixed size: the window follows the view, not the user.
        XSizeHints* hints = XAllocSizeHints();
        if (hints != nullptr) {
            hints->flags = PMinSize | PMaxSize;
            hints->min_width = hints->max_width = w;
            hints->min_height = hints->max_height = h;
            XSetWMNormalHints(display_, window_, hints);
            XFree(hints);
        }
        XResizeWindow(display_, window_, static_cast<unsigned int>(w), static_cast<unsigned int>(h));
        XSync(display_, False);
    }

    void ClientSize(int32_t* width, int32_t* height) const override {
        XWindowAttributes attributes{};
        XGetWindowAttributes(display_, window_, &attributes);
        *width = attributes.width;
        *height = attributes.height;
    }

    void ClientOrigin(int32_t* x, int32_t* y) const override {
        Window child = 0;
        int rootX = 0, rootY = 0;
        XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), 0, 0, &rootX, &rootY, &child);
        *x = rootX;
        *y = rootY;
    }

    bool Capture(WindowPixels* pixels, std::string* error) const override {
        int32_t width = 0, height = 0;
        ClientSize(&width, &height);
        XSync(display_, False);
        XImage* image = XGetImage(display_, window_, 0, 0, static_cast<unsigned int>(width),
                                  static_cast<unsigned int>(height), AllPlanes, ZPixmap);
        if (image == nullptr) {
            *error = "the window's contents could not be read";
            return false;
        }
        pixels->width = width;
        pixels->height = height;
        pixels->rgba.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 255);
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                uint8_t* out = &pixels->rgba[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4];
                out[0] = Channel(pixel, image->red_mask);
                out[1] = Channel(pixel, image->green_mask);
                out[2] = Channel(pixel, image->blue_mask);
            }
        }
        XDestroyImage(image);
        return true;
    }

    int32_t ChildWindowCount() const override {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(display_, window_, &root, &parent, &children, &count) == 0) return 0;
        if (children != nullptr) XFree(children);
        return static_cast<int32_t>(count);
    }

private:
    Display* display_;
    Window window_;
    Atom deleteAtom_ = 0;
    bool closed_ = false;
};

}  // namespace

std::unique_ptr<HostWindow> HostWindow::Create(const std::string& title, int32_t width, int32_t height,
                                               std::string* error) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        const char* name = std::getenv("DISPLAY");
        *error = name == nullptr || *name == '\0' ? "no display: DISPLAY is not set"
                                                  : std::string("no display: cannot open X display \"") + name + "\"";
        return nullptr;
    }
    const int screen = DefaultScreen(display);
    const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 40, 40, 1, 1, 0,
                                              BlackPixel(display, screen), BlackPixel(display, screen));
    XStoreName(display, window, title.c_str());
    auto host = std::make_unique<X11HostWindow>(display, window);
    host->Show(width, height);
    return host;
}

}  // namespace aaxhost
