#include "DelayEditor.h"

#include <cmath>

#include "DelayParameters.h"

namespace vantrelo {

DelayEditor::DelayEditor(EditorOwner& owner) : owner_(owner) { UpdateRect(); }

DelayEditor::~DelayEditor() { Close(); }

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
    if (open_) Close();
    parent_ = parentWindow;
    open_ = true;
    UpdateRect();
    openWidth_ = rect_.right;
    openHeight_ = rect_.bottom;
    for (int32_t i = 0; i < kNumParameters; ++i) shownValues_[static_cast<size_t>(i)] = owner_.ParameterValue(i);
    shownFocus_ = focus_;
    window_ = EditorWindow::Open(parentWindow, rect_.right, rect_.bottom, *this);
    return true;
}

void DelayEditor::Close() {
    if (drag_.index >= 0) {
        // The host must not be left with a parameter touched for ever.
        const int32_t index = drag_.index;
        drag_ = Drag{};
        owner_.CallHost(vst2::audioMasterEndEdit, index, 0, nullptr, 0.0f);
    }
    window_.reset();
    open_ = false;
    parent_ = nullptr;
}

void DelayEditor::Idle() {
    if (!open_) return;
    ++idleCount_;
    if (window_ != nullptr) window_->HandleEvents();
    ScaleChanged();  // follows a zoom set by the host or a restored state
    RepaintIfChanged();
}

void DelayEditor::Redraw(const vst2::ERect* /*area*/) {
    if (!open_) return;
    ++redrawCount_;
    if (window_ != nullptr) window_->Repaint();
}

void DelayEditor::RepaintIfChanged() {
    if (window_ == nullptr) return;
    bool changed = shownFocus_ != focus_;
    for (int32_t i = 0; i < kNumParameters; ++i) {
        const float value = owner_.ParameterValue(i);
        changed = changed || value != shownValues_[static_cast<size_t>(i)];
        shownValues_[static_cast<size_t>(i)] = value;
    }
    shownFocus_ = focus_;
    if (changed) window_->Repaint();
}

std::vector<DrawCommand> DelayEditor::Picture(int32_t width, int32_t height) {
    EditorState state;
    state.scale = Scale();
    state.focus = focus_;
    for (int32_t i = 0; i < kNumParameters; ++i) {
        state.values.push_back(owner_.ParameterValue(i));
        state.texts.push_back(owner_.ValueText(i));
    }
    return BuildEditorPicture(state, width, height);
}

double DelayEditor::Scale() const { return EditorScale(owner_.ParameterValue(kParamUiScale)); }

void DelayEditor::MouseDown(int32_t x, int32_t y) {
    if (drag_.index >= 0) return;  // a second button press inside a drag changes nothing
    const double scale = Scale();
    const int32_t index = ControlAt(x, y, scale);
    if (index < 0) return;
    focus_ = index;
    const ParameterInfo& info = kParameterInfo[index];
    const float current = owner_.ParameterValue(index);
    if (info.switchSteps >= 2) {
        const int32_t position = info.switchSteps == 2 ? 1 - SwitchPosition(current, 2)
                                                       : SwitchPositionAt(index, info.switchSteps, x, scale);
        SetFromEditor(index, SwitchValue(position, info.switchSteps));
    } else {
        drag_ = Drag{index, x, current};
        owner_.CallHost(vst2::audioMasterBeginEdit, index, 0, nullptr, 0.0f);
    }
    RepaintIfChanged();
}

void DelayEditor::MouseMove(int32_t x, int32_t /*y*/) {
    if (drag_.index < 0) return;
    const int32_t trackWidth = LayoutControl(drag_.index, Scale()).track.width;
    if (trackWidth <= 0) return;
    const float next = ClampUnit(drag_.startValue + static_cast<float>(x - drag_.startX) / static_cast<float>(trackWidth));
    if (next == owner_.ParameterValue(drag_.index)) return;
    owner_.ApplyParameterValue(drag_.index, next);
    owner_.CallHost(vst2::audioMasterAutomate, drag_.index, 0, nullptr, next);
    RepaintIfChanged();
}

void DelayEditor::MouseUp(int32_t x, int32_t y) {
    if (drag_.index < 0) return;
    MouseMove(x, y);
    const int32_t index = drag_.index;
    drag_ = Drag{};
    owner_.CallHost(vst2::audioMasterEndEdit, index, 0, nullptr, 0.0f);
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
    SetFromEditor(focus_, next);
    RepaintIfChanged();
}

void DelayEditor::SetFromEditor(int32_t index, float value) {
    if (value == owner_.ParameterValue(index)) return;
    if (!kParameterInfo[index].automatable) {
        // Editor-only settings are not host automation; they are just applied.
        owner_.ApplyParameterValue(index, value);
        ScaleChanged();
        return;
    }
    // The value is applied before it is reported, so a host that answers the automation by
    // setting the parameter straight back finds it already in place.
    owner_.CallHost(vst2::audioMasterBeginEdit, index, 0, nullptr, 0.0f);
    owner_.ApplyParameterValue(index, value);
    owner_.CallHost(vst2::audioMasterAutomate, index, 0, nullptr, value);
    owner_.CallHost(vst2::audioMasterEndEdit, index, 0, nullptr, 0.0f);
}

void DelayEditor::ScaleChanged() {
    UpdateRect();
    // Compared with the size last given to the window and the host, not with rect_, which a
    // host's effEditGetRect may already have brought up to date.
    if (!open_ || (rect_.right == openWidth_ && rect_.bottom == openHeight_)) return;
    openWidth_ = rect_.right;
    openHeight_ = rect_.bottom;
    if (window_ != nullptr) window_->Resize(rect_.right, rect_.bottom);
    owner_.CallHost(vst2::audioMasterSizeWindow, rect_.right, rect_.bottom, nullptr, 0.0f);
}

}  // namespace vantrelo
