#include "module/CACFUnknown.h"

#include "interfaces/aax_ids.h"
#include "module/ModuleState.h"

CACFUnknown::CACFUnknown() : outerUnknown(&privateUnknown), privateUnknown(this) {
    ACFLiveObjectConstructed();
}

CACFUnknown::~CACFUnknown() { ACFLiveObjectDestroyed(); }

ACFRESULT CACFUnknown::ReservedOperation() noexcept { return ACF_OK; }

void CACFUnknown::FinalRelease() noexcept {}

void CACFUnknown::DeleteThis() noexcept { delete this; }

ACFRESULT CACFUnknown::InternalQueryInterface(const acfIID& iid, void** outInterface) noexcept {
    if (outInterface == nullptr) return ACF_E_NOINTERFACE;
    *outInterface = nullptr;
    if (iid == IID_IACFUnknown) {
        IACFUnknown* inner = GetInnerUnknown();
        *outInterface = inner;
        inner->AddRef();
        return ACF_OK;
    }
    return ACF_E_NOINTERFACE;
}

acfUInt32 CACFUnknown::InternalAddRef() noexcept {
    return static_cast<acfUInt32>(refCount.fetch_add(1, std::memory_order_relaxed) + 1);
}

acfUInt32 CACFUnknown::InternalRelease() noexcept {
    // acq_rel: the destroying thread must see every write made before the other releases.
    const int32_t remaining = refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (remaining == 0) {
        FinalRelease();
        DeleteThis();
    }
    return static_cast<acfUInt32>(remaining);
}

ACFRESULT CACFUnknown::PrivateUnknown::QueryInterface(const acfIID& iid, void** outInterface) noexcept {
    return owner->InternalQueryInterface(iid, outInterface);
}

acfUInt32 CACFUnknown::PrivateUnknown::AddRef() noexcept { return owner->InternalAddRef(); }

acfUInt32 CACFUnknown::PrivateUnknown::Release() noexcept { return owner->InternalRelease(); }
