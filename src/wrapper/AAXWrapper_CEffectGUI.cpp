#include "wrapper/AAXWrapper_CEffectGUI.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "interfaces/aax_ids.h"
#include "vsthost/VstCallBack.h"
#include "wrapper/AAXWrapper_Parameters.h"

namespace {

// The key-down the effect's editor expects right before it is closed: the character '2' with
// virtual key 26.
constexpr int32_t kCloseKeyIndex = 50;
constexpr intptr_t kCloseKeyValue = 26;
// The smallest extent a view is given on either side.
constexpr int32_t kSmallestViewExtent = 1;

// Truncates toward zero into an ERect edge. Values outside 16 bits are clamped and NaN gives 0,
// where a plain conversion would be undefined.
int16_t ToEdge(float value) {
    if (std::isnan(value)) return 0;
    constexpr int16_t kLowest = std::numeric_limits<int16_t>::min();
    constexpr int16_t kHighest = std::numeric_limits<int16_t>::max();
    const float truncated = std::trunc(value);
    if (truncated <= static_cast<float>(kLowest)) return kLowest;
    if (truncated >= static_cast<float>(kHighest)) return kHighest;
    return static_cast<int16_t>(truncated);
}

}  // namespace

AAX_IEffectGUI* AAXWrapper_CEffectGUI::Create() {
    // The host calls this through a plain function pointer: nothing may escape it.
    try {
        return new AAXWrapper_CEffectGUI();
    } catch (...) {
        return nullptr;
    }
}

AAXWrapper_CEffectGUI::AAXWrapper_CEffectGUI() = default;

AAXWrapper_CEffectGUI::~AAXWrapper_CEffectGUI() {
    // Runs before the base releases the data model, so the VstInterface is still alive.
    CloseEditor();
    Unregister();
}

void AAXWrapper_CEffectGUI::CloseEditor() noexcept {
    if (mEditorOpen) DeleteViewContainer();
}

void AAXWrapper_CEffectGUI::Unregister() noexcept {
    // Once UnregisterGui returns, no display update from any thread reaches this GUI.
    if (vstInterfaceRef != nullptr && vstInterfaceRef->callBack != nullptr) {
        vstInterfaceRef->callBack->UnregisterGui(this);
    }
    vstInterfaceRef = nullptr;
}

AAX_Result AAXWrapper_CEffectGUI::Initialize(IACFUnknown* host) noexcept {
    CloseEditor();
    Unregister();
    return AAX_CEffectGUI::Initialize(host);
}

AAX_Result AAXWrapper_CEffectGUI::Uninitialize() noexcept {
    // The editor goes with the GUI even when the host never withdrew the view: left open, it
    // would hold a gesture in progress (a touched parameter) for ever.
    CloseEditor();
    Unregister();
    return AAX_CEffectGUI::Uninitialize();
}

AAX_Result AAXWrapper_CEffectGUI::CreateViewContents() {
    // Only a data model of this module answers with itself; any other gives no VstInterface.
    AAX_IACFEffectParameters* model = GetEffectParameters();
    void* self = nullptr;
    if (model == nullptr || model->QueryInterface(IID_AAXWrapperParametersSelf, &self) != ACF_OK || self == nullptr) {
        return AAX_SUCCESS;
    }
    auto* parameters = static_cast<AAXWrapper_Parameters*>(self);
    // The GUI's own reference on the data model keeps it; the query's is given back at once.
    parameters->Release();
    if (parameters->vstInterface == nullptr) return AAX_SUCCESS;
    vstInterfaceRef = parameters->vstInterface;
    if (vstInterfaceRef->callBack != nullptr) vstInterfaceRef->callBack->RegisterGui(this);
    return AAX_SUCCESS;
}

AAX_Result AAXWrapper_CEffectGUI::CreateViewContainer() {
    AAX_IViewContainer* container = GetViewContainer();
    if (container != nullptr && container->GetType() == AAX_eViewContainer_Type_HWND) {
        AttachEditor(container->GetPtr());
    }
    return AAX_SUCCESS;
}

void AAXWrapper_CEffectGUI::AttachEditor(void* parentWindow) {
    if (vstInterfaceRef == nullptr) return;
    vstInterfaceRef->PreOpenNotice();
    vstInterfaceRef->OpenEditor(parentWindow);
    vstInterfaceRef->EditorRedraw(nullptr);
    mEditorOpen = true;
}

AAX_Result AAXWrapper_CEffectGUI::DeleteViewContainer() {
    mEditorOpen = false;
    if (vstInterfaceRef == nullptr) return AAX_SUCCESS;
    vstInterfaceRef->EditKeyDown(kCloseKeyIndex, kCloseKeyValue);
    vstInterfaceRef->EditClose();
    // A drag the closed editor did not end itself ends here.
    if (vstInterfaceRef->callBack != nullptr) vstInterfaceRef->callBack->ReleaseOpenGestures();
    return AAX_SUCCESS;
}

AAX_Result AAXWrapper_CEffectGUI::GetViewSize(AAX_Point* size) const noexcept {
    if (size == nullptr) return AAX_ERROR_NULL_OBJECT;
    size->vert = kDefaultViewSize;
    size->horz = kDefaultViewSize;
    if (vstInterfaceRef == nullptr || vstInterfaceRef->effect == nullptr) return AAX_SUCCESS;

    vstInterfaceRef->EditGetRect();
    const vst2::ERect* rect = vstInterfaceRef->editorRect;
    if (rect == nullptr) return AAX_SUCCESS;
    const int32_t width = static_cast<int32_t>(rect->right) - static_cast<int32_t>(rect->left);
    const int32_t height = static_cast<int32_t>(rect->bottom) - static_cast<int32_t>(rect->top);
    // A rectangle turned inside out is no size at all: the default stands. An empty one still
    // gets a view the host can make.
    if (width < 0 || height < 0) return AAX_SUCCESS;
    size->horz = static_cast<float>(std::max(width, kSmallestViewExtent));
    size->vert = static_cast<float>(std::max(height, kSmallestViewExtent));
    return AAX_SUCCESS;
}

AAX_Result AAXWrapper_CEffectGUI::Draw(AAX_Rect* area) noexcept {
    if (vstInterfaceRef == nullptr || area == nullptr) return AAX_SUCCESS;
    // Each far edge is summed in float before truncation: 10.7 + 50.9 gives 61, not 60.
    vst2::ERect rect{};
    rect.top = ToEdge(area->top);
    rect.left = ToEdge(area->left);
    rect.bottom = ToEdge(area->top + area->height);
    rect.right = ToEdge(area->left + area->width);
    vstInterfaceRef->EditorRedraw(&rect);
    return AAX_SUCCESS;
}

AAX_Result AAXWrapper_CEffectGUI::TimerWakeup() noexcept {
    if (vstInterfaceRef == nullptr) return AAX_SUCCESS;
    vstInterfaceRef->EditIdle();
    // The editor's tick is main-thread time too: a display update the effect asked for from
    // another thread is taken up here (unless the host let go of the data model during the tick).
    if (vstInterfaceRef != nullptr && vstInterfaceRef->callBack != nullptr) {
        vstInterfaceRef->callBack->ServeDeferredReadBack();
    }
    return AAX_SUCCESS;
}
