// The effect's editor: open or closed, its size at the chosen zoom, the focused parameter,
// keyboard editing, and, when the host's window is a real one on a display, a native child
// window in which each parameter is drawn and turned with the mouse. Edits are reported to the
// host as gestures (begin edit, automate, end edit). Without a window the editor is headless:
// it keeps all of its state and its keyboard, and draws nothing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DelayParameters.h"
#include "EditorWindow.h"
#include "interfaces/vst2.h"

namespace vantrelo {

// What the editor needs from its effect. [main] for every operation.
class EditorOwner {
public:
    virtual float ParameterValue(int32_t index) const = 0;
    virtual void ApplyParameterValue(int32_t index, float value) = 0;
    virtual intptr_t CallHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) = 0;
    // The value as the editor shows it, with its unit.
    virtual std::string ValueText(int32_t index) const = 0;

protected:
    ~EditorOwner() = default;
};

class DelayEditor final : private EditorWindowClient {
public:
    static constexpr int16_t kBaseWidth = 500;
    static constexpr int16_t kBaseHeight = 300;
    // Virtual key codes of the VST 2 editor keyboard interface.
    static constexpr intptr_t kVirtualKeyTab = 2;
    static constexpr intptr_t kVirtualKeyUp = 12;
    static constexpr intptr_t kVirtualKeyDown = 14;
    static constexpr intptr_t kVirtualKeyAdd = 35;
    static constexpr intptr_t kVirtualKeySubtract = 37;
    static constexpr int32_t kModifierShift = 1;
    // Step of one key press on a continuous parameter.
    static constexpr float kContinuousStep = 0.01f;

    explicit DelayEditor(EditorOwner& owner);
    ~DelayEditor();
    DelayEditor(const DelayEditor&) = delete;
    DelayEditor& operator=(const DelayEditor&) = delete;

    // [main] The editor's size at the current zoom, top-left at 0, 0. Valid whether or not the
    // editor is open; the pointer stays valid for the effect's life.
    vst2::ERect* Rect();
    // [main] Opens the editor in the host's window (any window replaces the previous one): a
    // native child window when the parent is a window on a display, else headless.
    bool Open(void* parentWindow);
    // [main] Ends a drag under way (end edit), then closes the window.
    void Close();
    // [main] The host's periodic tick while the editor is open: handles the window's events,
    // picks up a zoom changed from outside the editor (the window follows and the host is asked
    // to resize its own), and redraws when a value changed, so automation shows within a tick.
    void Idle();
    // [main] A redraw request for an area (null for all of it).
    void Redraw(const vst2::ERect* area);
    // [main] One key press: Tab (Shift+Tab backwards) moves the focus over the parameters,
    // '+' / '-' (or the arrow and keypad keys) step the focused one. Returns true when the key
    // was used. Any other key, and every key while closed, does nothing.
    bool KeyDown(int32_t character, intptr_t virtualKey, float modifiers);
    // [main]
    bool IsOpen() const { return open_; }
    void* ParentWindow() const { return parent_; }
    int32_t FocusedParameter() const { return focus_; }
    int32_t IdleCount() const { return idleCount_; }
    int32_t RedrawCount() const { return redrawCount_; }

private:
    // EditorWindowClient, [main]. A press on a continuous control starts a drag (begin edit)
    // that moves the value by the horizontal distance over the track's width (automate) until
    // the release (end edit). A press on a two-position switch toggles it, on a longer switch
    // picks the position under the mouse; either is one complete gesture.
    std::vector<DrawCommand> Picture(int32_t width, int32_t height) override;
    double Scale() const override;
    void MouseDown(int32_t x, int32_t y) override;
    void MouseMove(int32_t x, int32_t y) override;
    void MouseUp(int32_t x, int32_t y) override;

    void StepFocused(int32_t direction);
    // Applies an editor-made value: automatable ones as one whole gesture, the editor's own
    // settings quietly.
    void SetFromEditor(int32_t index, float value);
    void UpdateRect();
    void ScaleChanged();
    void RepaintIfChanged();

    struct Drag {
        int32_t index = -1;  // -1: no drag under way
        int32_t startX = 0;
        float startValue = 0.0f;
    };

    EditorOwner& owner_;
    vst2::ERect rect_{};
    bool open_ = false;
    void* parent_ = nullptr;
    int32_t focus_ = 0;
    int32_t idleCount_ = 0;
    int32_t redrawCount_ = 0;
    Drag drag_;
    std::array<float, kNumParameters> shownValues_{};  // what the window shows
    int32_t shownFocus_ = -1;
    int16_t openWidth_ = 0;  // the size the window and the host were last given
    int16_t openHeight_ = 0;
    std::unique_ptr<EditorWindow> window_;
};

}  // namespace vantrelo
