// The window system as a user and an administrator see it, for the windowed tests: a mouse that
// the system believes is real (XTest on Linux, SendInput on Windows), and a count of what the
// system holds, to show that closing an editor gives everything back.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

namespace guitest {

class SyntheticMouse {
public:
    // Null with a reason when there is no display (or no input extension).
    static std::unique_ptr<SyntheticMouse> Create(std::string* error);
    virtual ~SyntheticMouse() = default;
    // Screen coordinates.
    virtual void MoveTo(int32_t x, int32_t y) = 0;
    virtual void Press() = 0;
    virtual void Release() = 0;
};

// A window of one colour (0xRRGGBB) inside a parent (a host window's handle), made on a
// connection of its own as an editor makes its window, and painted by the window system.
class ColourPatch {
public:
    static std::unique_ptr<ColourPatch> Create(void* parent, int32_t x, int32_t y, int32_t width, int32_t height,
                                               uint32_t colour, std::string* error);
    virtual ~ColourPatch() = default;
};

// On Linux: this process's clients of the X server and the resources the server holds for
// them. On Windows: this thread's top-level windows and the process's GDI and USER objects.
struct WindowSystemUse {
    int64_t owners = 0;
    int64_t objects = 0;
    bool operator==(const WindowSystemUse& other) const { return owners == other.owners && objects == other.objects; }
};
bool CountWindowSystemUse(WindowSystemUse* use, std::string* error);
std::string Describe(const WindowSystemUse& use);
inline void PrintTo(const WindowSystemUse& use, std::ostream* out) { *out << Describe(use); }

}  // namespace guitest
