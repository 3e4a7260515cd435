#include "support/FakeGuiHost.h"

#include "interfaces/aax_ids.h"

namespace testsupport {

ACFRESULT FakeGuiHost::QueryInterface(const acfIID& iid, void** outInterface) {
    if (outInterface == nullptr) return ACF_E_NOINTERFACE;
    *outInterface = nullptr;
    if (iid == IID_IACFUnknown) {
        *outInterface = static_cast<IACFUnknown*>(this);
        AddRef();
        return ACF_OK;
    }
    if (iid == IID_IAAXEffectParametersV1 || iid == IID_IAAXEffectParametersV2) {
        if (!offerDataModel || dataModel == nullptr) return ACF_E_NOINTERFACE;
        return dataModel->QueryInterface(iid, outInterface);
    }
    return host.QueryInterface(iid, outInterface);
}

ACFRESULT FakeViewContainer::QueryInterface(const acfIID& iid, void** outInterface) {
    if (outInterface == nullptr) return ACF_E_NOINTERFACE;
    *outInterface = nullptr;
    if (iid == IID_IACFUnknown || iid == IID_IAAXViewContainerV1) {
        *outInterface = static_cast<AAX_IACFViewContainer*>(this);
        AddRef();
        return ACF_OK;
    }
    return ACF_E_NOINTERFACE;
}

AAX_Result FakeViewContainer::GetModifiers(uint32_t* outModifiers) {
    if (outModifiers != nullptr) *outModifiers = 0;
    return AAX_SUCCESS;
}

AAX_Result FakeViewContainer::SetViewSize(AAX_Point& size) {
    lastViewSize = size;
    return AAX_SUCCESS;
}

}  // namespace testsupport
