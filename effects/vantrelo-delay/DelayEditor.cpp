#include "DelayEditor.h"

#include <cmath>

#include "DelayParameters.h"

namespace vantrelo {

DelayEditor::DelayEditor(EditorOwner& owner) : owner_(owner) { UpdateRect(); }

vst2::ERect* DelayEditor::Rect() {
    UpdateRect();
    return &rect_;
}

void DelayEditor::UpdateRect() {
    const double scale = EditorScale(owner_.ParameterValue(kParamUiScale));
    rect_.top = 0;
    rect_.left = 0;
    rect_.bottom = static_cast<int16_t>(std::lround(kBaseHeight * scale));
    rect_.right = static_cast<int16_t>(std::lround(kBaseWidth * scale));
}

bool DelayEditor::Open(void* parentWindow) {
    parent_ = parentWindow;
    open_ = true;
    UpdateRect();
    return true;
}

void DelayEditor::Close() {
    open_ = false;
    parent_ = nullptr;
}

void DelayEditor::Idle() {
    if (!open_) return;
    ++idleCount_;
    ScaleChanged();  // follows a zoom set by the host or a restored state
}

void DelayEditor::Redraw(const vst2::ERect* /*area*/) {
    if (open_) ++redrawCount_;
}

bool DelayEditor::KeyDown(int32_t character, intptr_t virtualKey, float modifiers) {
    if (!open_) return false;
    if (character == '\t' || virtualKey == kVirtualKeyTab) {
        const bool backwards = (static_cast<int32_t>(modifiers) & kModifierShift) != 0;
        focus_ = (focus_ + (backwards ? kNumParameters - 1 : 1)) % kNumParameters;
        return true;
    }
    if (character == '+' || virtualKey == kVirtualKeyAdd || virtualKey == kVirtualKeyUp) {
        StepFocused(1);
        return true;
    }
    if (character == '-' || virtualKey == kVirtualKeySubtract || virtualKey == kVirtualKeyDown) {
        StepFocused(-1);
        return true;
    }
    return false;
}

void DelayEditor::StepFocused(int32_t direction) {
    const ParameterInfo& info = kParameterInfo[focus_];
    const float current = owner_.ParameterValue(focus_);
    float next = 0.0f;
    if (info.switchSteps >= 2) {
        next = SwitchValue(SwitchPosition(current, info.switchSteps) + direction, info.switchSteps);
    } else {
        next = ClampUnit(current + static_cast<float>(direction) * kContinuousStep);
    }
    if (next == current) return;  // already at the end of its range: no change to report

    if (!info.automatable) {
        // Editor-only settings are not host automation; they are just applied.
        owner_.ApplyParameterValue(focus_, next);
        ScaleChanged();
        return;
    }
    // The value is applied before it is reported, so a host that answers the automation by
    // setting the parameter straight back finds it already in place.
    owner_.CallHost(vst2::audioMasterBeginEdit, focus_, 0, nullptr, 0.0f);
    owner_.ApplyParameterValue(focus_, next);
    owner_.CallHost(vst2::audioMasterAutomate, focus_, 0, nullptr, next);
    owner_.CallHost(vst2::audioMasterEndEdit, focus_, 0, nullptr, 0.0f);
}

void DelayEditor::ScaleChanged() {
    const int16_t oldWidth = rect_.right;
    const int16_t oldHeight = rect_.bottom;
    UpdateRect();
    if (open_ && (rect_.right != oldWidth || rect_.bottom != oldHeight)) {
        owner_.CallHost(vst2::audioMasterSizeWindow, rect_.right, rect_.bottom, nullptr, 0.0f);
    }
}

}  // namespace vantrelo
