#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/XTest.h>

#include <unistd.h>

#include "WindowSystem.h"

namespace guitest {
namespace {

class XTestMouse final : public SyntheticMouse {
public:
    explicit XTestMouse(Display* display) : display_(display) {}
    ~XTestMouse() override { XCloseDisplay(display_); }
    void MoveTo(int32_t x, int32_t y) override {
        XTestFakeMotionEvent(display_, DefaultScreen(display_), x, y, CurrentTime);
        XSync(display_, False);
    }
    void Press() override {
        XTestFakeButtonEvent(display_, 1, True, CurrentTime);
        XSync(display_, False);
    }
    void Release() override {
        XTestFakeButtonEvent(display_, 1, False, CurrentTime);
        XSync(display_, False);
    }

private:
    Display* display_;
};

class X11Patch final : public ColourPatch {
public:
    X11Patch(Display* display, Window window) : display_(display), window_(window) {}
    ~X11Patch() override {
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }

private:
    Display* display_;
    Window window_;
};

}  // namespace

std::unique_ptr<ColourPatch> ColourPatch::Create(void* parent, int32_t x, int32_t y, int32_t width, int32_t height,
                                                 uint32_t colour, std::string* error) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        *error = "no display";
        return nullptr;
    }
    // The virtual display is 24-bit true colour: the pixel is the colour.
    const Window window = XCreateSimpleWindow(display, static_cast<Window>(reinterpret_cast<uintptr_t>(parent)), x, y,
                                              static_cast<unsigned int>(width), static_cast<unsigned int>(height), 0, 0,
                                              colour);
    XMapWindow(display, window);
    XSync(display, False);
    return std::make_unique<X11Patch>(display, window);
}

std::unique_ptr<SyntheticMouse> SyntheticMouse::Create(std::string* error) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        *error = "no display";
        return nullptr;
    }
    int event = 0, firstError = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event, &firstError, &major, &minor)) {
        XCloseDisplay(display);
        *error = "the X server has no XTEST extension";
        return nullptr;
    }
    return std::make_unique<XTestMouse>(display);
}

bool CountWindowSystemUse(WindowSystemUse* use, std::string* error) {
    // A connection of its own, counted in both the before and the after. Only this process's
    // clients count, so that other programs on a shared display make no difference.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        *error = "no display";
        return false;
    }
    int event = 0, firstError = 0, major = 0, minor = 0;
    XResClientIdSpec everyClient{0, XRES_CLIENT_ID_PID_MASK};
    XResClientIdValue* ids = nullptr;
    long count = 0;
    const bool ok = XResQueryExtension(display, &event, &firstError) && XResQueryVersion(display, &major, &minor) &&
                    (major > 1 || (major == 1 && minor >= 2)) &&
                    XResQueryClientIds(display, 1, &everyClient, &count, &ids) == Success;
    use->owners = 0;
    use->objects = 0;
    for (long i = 0; ok && i < count; ++i) {
        if (XResGetClientPid(&ids[i]) != getpid()) continue;
        ++use->owners;
        XResType* types = nullptr;
        int typeCount = 0;
        if (XResQueryClientResources(display, ids[i].spec.client, &typeCount, &types) == 0) continue;
        for (int t = 0; t < typeCount; ++t) use->objects += types[t].count;
        XFree(types);
    }
    if (ids != nullptr) XResClientIdsDestroy(count, ids);
    XCloseDisplay(display);
    if (!ok) *error = "the X server has no X-Resource extension 1.2";
    return ok;
}

std::string Describe(const WindowSystemUse& use) {
    return std::to_string(use.owners) + " X clients of this process holding " + std::to_string(use.objects) +
           " resources";
}

}  // namespace guitest
