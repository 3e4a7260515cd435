// The effect's editor. It draws nothing itself (the host's window stays as it is) but keeps a
// real editor's state: open or closed, its size at the chosen zoom, the focused parameter, and
// keyboard editing that is reported to the host like any mouse gesture would be.
#pragma once

#include <cstdint>

#include "interfaces/vst2.h"

namespace vantrelo {

// What the editor needs from its effect. [main] for every operation.
class EditorOwner {
public:
    virtual float ParameterValue(int32_t index) const = 0;
    virtual void ApplyParameterValue(int32_t index, float value) = 0;
    virtual intptr_t CallHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) = 0;

protected:
    ~EditorOwner() = default;
};

class DelayEditor {
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

    // [main] The editor's size at the current zoom, top-left at 0, 0. Valid whether or not the
    // editor is open; the pointer stays valid for the effect's life.
    vst2::ERect* Rect();
    // [main] Opens the editor in the host's window (any window replaces the previous one).
    bool Open(void* parentWindow);
    // [main]
    void Close();
    // [main] The host's periodic tick while the editor is open; picks up a zoom changed from
    // outside the editor and asks the host to resize its window.
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
    void StepFocused(int32_t direction);
    void UpdateRect();
    void ScaleChanged();

    EditorOwner& owner_;
    vst2::ERect rect_{};
    bool open_ = false;
    void* parent_ = nullptr;
    int32_t focus_ = 0;
    int32_t idleCount_ = 0;
    int32_t redrawCount_ = 0;
};

}  // namespace vantrelo
