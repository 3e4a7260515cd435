#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/XTest.h>

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

}  // namespace

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
    // A connection of its own, counted in both the before and the after.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        *error = "no display";
        return false;
    }
    int event = 0, firstError = 0;
    XResClient* clients = nullptr;
    int count = 0;
    bool ok = XResQueryExtension(display, &event, &firstError) && XResQueryClients(display, &count, &clients) != 0;
    use->owners = count;
    use->objects = 0;
    for (int i = 0; ok && i < count; ++i) {
        XResType* types = nullptr;
        int typeCount = 0;
        if (XResQueryClientResources(display, clients[i].resource_base, &typeCount, &types) == 0) continue;
        for (int t = 0; t < typeCount; ++t) use->objects += types[t].count;
        XFree(types);
    }
    if (clients != nullptr) XFree(clients);
    XCloseDisplay(display);
    if (!ok) *error = "the X server has no X-Resource extension";
    return ok;
}

std::string Describe(const WindowSystemUse& use) {
    return std::to_string(use.owners) + " X clients holding " + std::to_string(use.objects) + " resources";
}

}  // namespace guitest
