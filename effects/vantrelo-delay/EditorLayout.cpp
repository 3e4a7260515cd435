#include "EditorLayout.h"

#include <algorithm>
#include <cmath>

#include "DelayParameters.h"

namespace vantrelo {
namespace {

// The grid at scale 1.
constexpr int32_t kColumns = 3;
constexpr int32_t kGridLeft = 10;
constexpr int32_t kGridTop = 48;
constexpr int32_t kPanelWidth = 152;
constexpr int32_t kPanelHeight = 76;
constexpr int32_t kColumnStep = 164;
constexpr int32_t kRowStep = 84;
constexpr int32_t kInset = 10;
constexpr int32_t kNameBaseline = 18;
constexpr int32_t kTrackTop = 28;
constexpr int32_t kTrackHeight = 18;
constexpr int32_t kValueTop = 50;
constexpr int32_t kValueHeight = 20;
constexpr int32_t kTextPixels = 13;
constexpr int32_t kTitleBaseline = 27;

int32_t Scaled(int32_t value, double scale) { return static_cast<int32_t>(std::lround(value * scale)); }

EditorBox ScaledBox(int32_t x, int32_t y, int32_t width, int32_t height, double scale) {
    // Edges are scaled rather than sizes, so neighbouring boxes stay neighbours at every zoom.
    const int32_t left = Scaled(x, scale);
    const int32_t top = Scaled(y, scale);
    return {left, top, Scaled(x + width, scale) - left, Scaled(y + height, scale) - top};
}

// The box of one switch position on the track.
EditorBox SwitchSegment(const EditorBox& track, int32_t position, int32_t steps) {
    const int32_t left = track.x + track.width * position / steps;
    const int32_t right = track.x + track.width * (position + 1) / steps;
    return {left, track.y, right - left, track.height};
}

EditorBox Inner(const EditorBox& box, int32_t by) {
    return {box.x + by, box.y + by, std::max(0, box.width - 2 * by), std::max(0, box.height - 2 * by)};
}

}  // namespace

ControlLayout LayoutControl(int32_t index, double scale) {
    const int32_t column = index % kColumns;
    const int32_t row = index / kColumns;
    const int32_t x = kGridLeft + column * kColumnStep;
    const int32_t y = kGridTop + row * kRowStep;
    ControlLayout layout;
    layout.panel = ScaledBox(x, y, kPanelWidth, kPanelHeight, scale);
    layout.track = ScaledBox(x + kInset, y + kTrackTop, kPanelWidth - 2 * kInset, kTrackHeight, scale);
    layout.textX = Scaled(x + kInset, scale);
    layout.nameBaseline = Scaled(y + kNameBaseline, scale);
    layout.valueText = ScaledBox(x + kInset, y + kValueTop, kPanelWidth - 2 * kInset, kValueHeight, scale);
    return layout;
}

int32_t ControlAt(int32_t x, int32_t y, double scale) {
    for (int32_t i = 0; i < kNumParameters; ++i) {
        if (LayoutControl(i, scale).track.Contains(x, y)) return i;
    }
    return -1;
}

int32_t SwitchPositionAt(int32_t index, int32_t steps, int32_t x, double scale) {
    if (steps < 2) return 0;
    const EditorBox track = LayoutControl(index, scale).track;
    if (track.width <= 0) return 0;
    const int32_t position = (x - track.x) * steps / track.width;
    return std::clamp(position, int32_t{0}, steps - 1);
}

int32_t TextPixels(double scale) { return Scaled(kTextPixels, scale); }

std::vector<DrawCommand> BuildEditorPicture(const EditorState& state, int32_t width, int32_t height) {
    std::vector<DrawCommand> picture;
    const double scale = state.scale;
    auto fill = [&picture](const EditorBox& box, uint32_t colour) { picture.push_back({DrawCommand::kFill, colour, box, {}}); };
    auto frame = [&picture](const EditorBox& box, uint32_t colour) { picture.push_back({DrawCommand::kFrame, colour, box, {}}); };
    auto text = [&picture](int32_t x, int32_t baseline, uint32_t colour, std::string words) {
        picture.push_back({DrawCommand::kText, colour, {x, baseline, 0, 0}, std::move(words)});
    };

    fill({0, 0, width, height}, kColourBackground);
    text(Scaled(kGridLeft + 4, scale), Scaled(kTitleBaseline, scale), kColourAccent, "VantreloDelay");
    text(Scaled(kGridLeft + 2 * kColumnStep + 4, scale), Scaled(kTitleBaseline, scale), kColourDim, "Brenlock");

    for (int32_t i = 0; i < kNumParameters; ++i) {
        const ControlLayout layout = LayoutControl(i, scale);
        const ParameterInfo& info = kParameterInfo[i];
        const float value = static_cast<size_t>(i) < state.values.size() ? ClampUnit(state.values[static_cast<size_t>(i)]) : 0.0f;
        fill(layout.panel, kColourPanel);
        if (i == state.focus) frame(layout.panel, kColourFocus);
        text(layout.textX, layout.nameBaseline, kColourDim, info.label);

        fill(layout.track, kColourTrack);
        if (info.switchSteps >= 2) {
            const int32_t position = SwitchPosition(value, info.switchSteps);
            for (int32_t p = 0; p < info.switchSteps; ++p) {
                const EditorBox segment = SwitchSegment(layout.track, p, info.switchSteps);
                if (p == position) fill(Inner(segment, 2), kColourAccent);
                frame(segment, kColourDim);
            }
        } else {
            EditorBox filled = Inner(layout.track, 2);
            filled.width = static_cast<int32_t>(std::lround(filled.width * static_cast<double>(value)));
            if (filled.width > 0) fill(filled, kColourAccent);
            frame(layout.track, kColourDim);
        }
        if (static_cast<size_t>(i) < state.texts.size()) {
            const EditorBox& area = layout.valueText;
            text(area.x, area.y + area.height - Scaled(5, scale), kColourText, state.texts[static_cast<size_t>(i)]);
        }
    }
    return picture;
}

}  // namespace vantrelo
