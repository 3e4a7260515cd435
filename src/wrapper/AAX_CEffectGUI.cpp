#include "wrapper/AAX_CEffectGUI.h"

#include "interfaces/aax_ids.h"
#include "params/AAX_CString.h"
#include "params/AAX_Guarded.h"

AAX_CEffectGUI::AAX_CEffectGUI() = default;

AAX_CEffectGUI::~AAX_CEffectGUI() {
    ReleaseHostObjects();
    mViewContainer.reset();
}

ACFRESULT AAX_CEffectGUI::QueryInterface(const acfIID& iid, void** outInterface) noexcept {
    return GetOuterUnknown()->QueryInterface(iid, outInterface);
}

acfUInt32 AAX_CEffectGUI::AddRef() noexcept { return GetOuterUnknown()->AddRef(); }

acfUInt32 AAX_CEffectGUI::Release() noexcept { return GetOuterUnknown()->Release(); }

ACFRESULT AAX_CEffectGUI::InternalQueryInterface(const acfIID& iid, void** outInterface) noexcept {
    if (outInterface == nullptr) return ACF_E_NOINTERFACE;
    *outInterface = nullptr;
    if (iid == IID_IAAXEffectGUIV1) {
        auto* gui = static_cast<AAX_IACFEffectGUI*>(this);
        *outInterface = gui;
        gui->AddRef();
        return ACF_OK;
    }
    return CACFUnknown::InternalQueryInterface(iid, outInterface);
}

void AAX_CEffectGUI::ReleaseHostObjects() noexcept {
    if (mEffectParameters != nullptr) {
        mEffectParameters->Release();
        mEffectParameters = nullptr;
    }
    mController.reset();
    mTransport.reset();
}

AAX_Result AAX_CEffectGUI::Initialize(IACFUnknown* host) noexcept {
    const AAX_Result result = AAX_Guarded([&]() -> AAX_Result {
        mController.reset(new AAX_VController(host));
        if (host == nullptr || !mController->IsValid()) {
            mController.reset();
            return AAX_ERROR_NO_COMPONENTS_WITHOUT_CONTROLLER;
        }
        // Initialising again replaces what the first time took.
        if (mEffectParameters != nullptr) {
            mEffectParameters->Release();
            mEffectParameters = nullptr;
        }
        void* effectParameters = nullptr;
        if (host->QueryInterface(IID_IAAXEffectParametersV1, &effectParameters) == ACF_OK) {
            mEffectParameters = static_cast<AAX_IACFEffectParameters*>(effectParameters);
        }
        mTransport.reset(new AAX_VTransport(host));
        CreateViewContents();
        return AAX_SUCCESS;
    });
    // What a call that failed half way took is given back.
    if (result == AAX_ERROR_PLUGIN_OUT_OF_MEMORY || result == ACF_E_UNEXPECTED) ReleaseHostObjects();
    return result;
}

AAX_Result AAX_CEffectGUI::Uninitialize() noexcept {
    ReleaseHostObjects();
    return AAX_SUCCESS;
}

AAX_Result AAX_CEffectGUI::NotificationReceived(AAX_CTypeID, const void*, uint32_t) noexcept { return AAX_SUCCESS; }

AAX_Result AAX_CEffectGUI::SetViewContainer(IACFUnknown* viewContainer) noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        if (viewContainer == nullptr) {
            mViewContainer.reset();
            DeleteViewContainer();
            return AAX_SUCCESS;
        }
        mViewContainer.reset(new AAX_VViewContainer(viewContainer));
        CreateViewContainer();
        UpdateAllParameters();
        return AAX_SUCCESS;
    });
}

AAX_Result AAX_CEffectGUI::ParameterUpdated(AAX_CParamID) noexcept { return AAX_SUCCESS; }

AAX_Result AAX_CEffectGUI::GetCustomLabel(AAX_EPlugInStrings, AAX_IString*) const noexcept { return AAX_ERROR_NULL_OBJECT; }

AAX_Result AAX_CEffectGUI::SetControlHighlightInfo(AAX_CParamID, bool, int32_t) noexcept { return AAX_SUCCESS; }

AAX_Result AAX_CEffectGUI::UpdateAllParameters() {
    if (mEffectParameters == nullptr) return AAX_SUCCESS;
    int32_t count = 0;
    if (mEffectParameters->GetNumberOfParameters(&count) != AAX_SUCCESS) return AAX_SUCCESS;
    for (int32_t index = 0; index < count; ++index) {
        AAX_CString identifier;
        if (mEffectParameters->GetParameterIDFromIndex(index, &identifier) == AAX_SUCCESS) {
            ParameterUpdated(identifier.Get());
        }
    }
    return AAX_SUCCESS;
}
