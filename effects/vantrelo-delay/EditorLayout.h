// What the editor shows and where: one panel per parameter in a grid of three by three, each
// with its name, a slider (continuous parameters) or a row of switch positions, and its value
// text. Everything is laid out at scale 1 (500 x 300) and multiplied by the zoom. The picture
// is a list of boxes and texts that each platform's window code renders as it stands, so the
// look and the hit areas are the same on every platform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrelo {

struct EditorBox {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;

    bool Contains(int32_t px, int32_t py) const { return px >= x && py >= y && px < x + width && py < y + height; }
};

// Colours as 0xRRGGBB.
enum EditorColour : uint32_t {
    kColourBackground = 0x1D2228,
    kColourPanel = 0x2B323A,
    kColourTrack = 0x14181C,
    kColourAccent = 0xE8A33D,
    kColourText = 0xE6E6E6,
    kColourDim = 0x8D96A0,
    kColourFocus = 0x5FB3E6,
};

struct ControlLayout {
    EditorBox panel;      // the whole control
    EditorBox track;      // the slider or the switch positions: where the mouse acts
    int32_t textX = 0;    // left edge of the name and the value text
    int32_t nameBaseline = 0;
    EditorBox valueText;  // the area the value text is drawn in (its baseline is near the bottom)
};

// [any] Where parameter `index` is drawn at the zoom `scale` (1, 1.5 or 2).
ControlLayout LayoutControl(int32_t index, double scale);
// [any] The parameter whose track holds the point, or -1.
int32_t ControlAt(int32_t x, int32_t y, double scale);
// [any] The switch position under x on the track of a parameter with `steps` positions
// (clamped to the track).
int32_t SwitchPositionAt(int32_t index, int32_t steps, int32_t x, double scale);
// [any] The height of the editor's text in pixels at the zoom.
int32_t TextPixels(double scale);

struct DrawCommand {
    enum Kind : uint8_t { kFill, kFrame, kText };
    Kind kind = kFill;
    uint32_t colour = 0;
    EditorBox box;     // kText: box.x is the left edge and box.y the baseline
    std::string text;  // kText only
};

// What the picture is made from: the parameters' values and texts at one moment.
struct EditorState {
    double scale = 1.0;
    int32_t focus = -1;  // the parameter the keyboard edits, or -1
    std::vector<float> values;
    std::vector<std::string> texts;  // value with its unit, as shown under each control
};

// [main] The whole picture, back to front, of the given size (the editor's size at the zoom).
std::vector<DrawCommand> BuildEditorPicture(const EditorState& state, int32_t width, int32_t height);

}  // namespace vantrelo
