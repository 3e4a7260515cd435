// What a GUI sees of its host: the FakeHost's controller and transport, plus the instance's data
// model behind the effect-parameters identifier, and a view container a test can script.
#pragma once

#include <atomic>
#include <cstdint>

#include "interfaces/aax_host.h"
#include "support/FakeHost.h"

namespace testsupport {

// The host's IACFUnknown as GUI Initialize receives it. The data model (if set) answers the
// effect-parameters identifier through its own QueryInterface; everything else goes to `host`.
class FakeGuiHost : public IACFUnknown {
public:
    FakeHost host;
    IACFUnknown* dataModel = nullptr;  // not owned
    bool offerDataModel = true;

    ACFRESULT QueryInterface(const acfIID& iid, void** outInterface) override;
    acfUInt32 AddRef() override { return static_cast<acfUInt32>(++mRefCount); }
    acfUInt32 Release() override { return static_cast<acfUInt32>(--mRefCount); }
    int32_t RefCount() const { return mRefCount.load(); }

private:
    std::atomic<int32_t> mRefCount{0};
};

// A view container of a chosen type holding a chosen native pointer.
class FakeViewContainer : public AAX_IACFViewContainer {
public:
    int32_t type = AAX_eViewContainer_Type_HWND;
    void* nativeWindow = nullptr;

    ACFRESULT QueryInterface(const acfIID& iid, void** outInterface) override;
    acfUInt32 AddRef() override { return static_cast<acfUInt32>(++mRefCount); }
    acfUInt32 Release() override { return static_cast<acfUInt32>(--mRefCount); }
    int32_t RefCount() const { return mRefCount.load(); }

    int32_t GetType() override { return type; }
    void* GetPtr() override { return nativeWindow; }
    AAX_Result GetModifiers(uint32_t* outModifiers) override;
    AAX_Result SetViewSize(AAX_Point& size) override;
    AAX_Result HandleParameterMouseDown(AAX_CParamID, uint32_t) override { return AAX_SUCCESS; }
    AAX_Result HandleParameterMouseDrag(AAX_CParamID, uint32_t) override { return AAX_SUCCESS; }
    AAX_Result HandleParameterMouseUp(AAX_CParamID, uint32_t) override { return AAX_SUCCESS; }

    AAX_Point lastViewSize{0.0f, 0.0f};

private:
    std::atomic<int32_t> mRefCount{0};
};

}  // namespace testsupport
