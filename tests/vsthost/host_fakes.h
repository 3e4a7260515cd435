// Fakes of the host's component interfaces for the vsthost suite: mocks of each ACF interface
// that count their references, and a host IACFUnknown that hands them out by identifier.
#pragma once

#include <gmock/gmock.h>

#include <string>
#include <utility>
#include <vector>

#include "interfaces/aax_effect.h"
#include "interfaces/aax_host.h"
#include "interfaces/aax_ids.h"

namespace vsthost_test {

// Reference counting shared by the mocks: the count starts at 0 and only the wrappers move it.
#define VSTHOST_TEST_COUNTED_UNKNOWN                                                 \
    ACFRESULT QueryInterface(const acfIID&, void** out) override {                  \
        if (out != nullptr) *out = nullptr;                                          \
        return ACF_E_NOINTERFACE;                                                    \
    }                                                                                \
    acfUInt32 AddRef() override { return static_cast<acfUInt32>(++references); }     \
    acfUInt32 Release() override { return static_cast<acfUInt32>(--references); }    \
    int references = 0;

class MockController : public AAX_IACFController_V2 {
public:
    VSTHOST_TEST_COUNTED_UNKNOWN
    MOCK_METHOD(AAX_Result, GetEffectID, (AAX_IString*), (const, override));
    MOCK_METHOD(AAX_Result, GetSampleRate, (float*), (const, override));
    MOCK_METHOD(AAX_Result, GetInputStemFormat, (int32_t*), (const, override));
    MOCK_METHOD(AAX_Result, GetOutputStemFormat, (int32_t*), (const, override));
    MOCK_METHOD(AAX_Result, GetSignalLatency, (int32_t*), (const, override));
    MOCK_METHOD(AAX_Result, GetCycleCount, (int32_t, int32_t*), (const, override));
    MOCK_METHOD(AAX_Result, GetTODLocation, (int64_t*), (const, override));
    MOCK_METHOD(AAX_Result, SetSignalLatency, (int32_t), (override));
    MOCK_METHOD(AAX_Result, SetCycleCount, (int32_t*, int32_t*, int32_t), (override));
    MOCK_METHOD(AAX_Result, PostPacket, (AAX_CFieldIndex, const void*, uint32_t), (override));
    MOCK_METHOD(AAX_Result, GetCurrentMeterValue, (AAX_CTypeID, float*), (const, override));
    MOCK_METHOD(AAX_Result, GetMeterPeakValue, (AAX_CTypeID, float*), (const, override));
    MOCK_METHOD(AAX_Result, ClearMeterPeakValue, (AAX_CTypeID), (const, override));
    MOCK_METHOD(AAX_Result, GetMeterClipped, (AAX_CTypeID, bool*), (const, override));
    MOCK_METHOD(AAX_Result, ClearMeterClipped, (AAX_CTypeID), (const, override));
    MOCK_METHOD(AAX_Result, GetMeterCount, (uint32_t*), (const, override));
    MOCK_METHOD(AAX_Result, GetNextMIDIPacket, (AAX_CFieldIndex*, AAX_CMidiPacket*), (override));
    MOCK_METHOD(AAX_Result, SendNotification, (AAX_CTypeID, const void*, uint32_t), (override));
    MOCK_METHOD(AAX_Result, GetHybridSignalLatency, (int32_t*), (const, override));
    MOCK_METHOD(AAX_Result, GetCurrentAutomationTimestamp, (AAX_CTimestamp*), (const, override));
    MOCK_METHOD(AAX_Result, GetHostName, (AAX_IString*), (const, override));
};

class MockTransport : public AAX_IACFTransport_V2 {
public:
    VSTHOST_TEST_COUNTED_UNKNOWN
    MOCK_METHOD(AAX_Result, GetCurrentTempo, (double*), (const, override));
    MOCK_METHOD(AAX_Result, GetCurrentMeter, (int32_t*, int32_t*), (const, override));
    MOCK_METHOD(AAX_Result, IsTransportPlaying, (bool*), (const, override));
    MOCK_METHOD(AAX_Result, GetCurrentTickPosition, (int64_t*), (const, override));
    MOCK_METHOD(AAX_Result, GetCurrentLoopPosition, (bool*, int64_t*, int64_t*), (const, override));
    MOCK_METHOD(AAX_Result, GetCurrentNativeSampleLocation, (int64_t*), (const, override));
    MOCK_METHOD(AAX_Result, GetCustomTickPosition, (int64_t*, int64_t), (const, override));
    MOCK_METHOD(AAX_Result, GetBarBeatPosition, (int32_t*, int32_t*, int64_t*, int64_t), (const, override));
    MOCK_METHOD(AAX_Result, GetTicksPerQuarter, (uint32_t*), (const, override));
    MOCK_METHOD(AAX_Result, GetCurrentTicksPerBeat, (uint32_t*), (const, override));
    MOCK_METHOD(AAX_Result, GetTimelineSelectionStartPosition, (int64_t*), (const, override));
    MOCK_METHOD(AAX_Result, GetTimeCodeInfo, (int32_t*, int64_t*), (const, override));
    MOCK_METHOD(AAX_Result, GetFeetFramesInfo, (int32_t*, int64_t*), (const, override));
};

class MockAutomationDelegate : public AAX_IACFAutomationDelegate {
public:
    VSTHOST_TEST_COUNTED_UNKNOWN
    MOCK_METHOD(AAX_Result, RegisterParameter, (AAX_CParamID), (override));
    MOCK_METHOD(AAX_Result, UnregisterParameter, (AAX_CParamID), (override));
    MOCK_METHOD(AAX_Result, PostSetValueRequest, (AAX_CParamID, double), (const, override));
    MOCK_METHOD(AAX_Result, PostCurrentValue, (AAX_CParamID, double), (const, override));
    MOCK_METHOD(AAX_Result, PostTouchRequest, (AAX_CParamID), (override));
    MOCK_METHOD(AAX_Result, PostReleaseRequest, (AAX_CParamID), (override));
    MOCK_METHOD(AAX_Result, GetTouchState, (AAX_CParamID, bool*), (override));
};

class MockViewContainer : public AAX_IACFViewContainer {
public:
    VSTHOST_TEST_COUNTED_UNKNOWN
    MOCK_METHOD(int32_t, GetType, (), (override));
    MOCK_METHOD(void*, GetPtr, (), (override));
    MOCK_METHOD(AAX_Result, GetModifiers, (uint32_t*), (override));
    MOCK_METHOD(AAX_Result, SetViewSize, (AAX_Point&), (override));
    MOCK_METHOD(AAX_Result, HandleParameterMouseDown, (AAX_CParamID, uint32_t), (override));
    MOCK_METHOD(AAX_Result, HandleParameterMouseDrag, (AAX_CParamID, uint32_t), (override));
    MOCK_METHOD(AAX_Result, HandleParameterMouseUp, (AAX_CParamID, uint32_t), (override));
};

class MockHostServices : public AAX_IACFHostServices {
public:
    VSTHOST_TEST_COUNTED_UNKNOWN
    MOCK_METHOD(AAX_Result, HandleAssertFailure, (const char*, int32_t, const char*), (const, override));
    MOCK_METHOD(AAX_Result, Trace, (int32_t, const char*), (const, override));
};

class MockComponentFactory : public IACFComponentFactory {
public:
    VSTHOST_TEST_COUNTED_UNKNOWN
    MOCK_METHOD(ACFRESULT, CreateComponent, (const acfCLSID&, IACFUnknown*, const acfIID&, void**), (override));
};

// A GUI that records the identifiers it is told about.
class RecordingGui : public AAX_IACFEffectGUI {
public:
    VSTHOST_TEST_COUNTED_UNKNOWN
    AAX_Result Initialize(IACFUnknown*) override { return AAX_SUCCESS; }
    AAX_Result Uninitialize() override { return AAX_SUCCESS; }
    AAX_Result NotificationReceived(AAX_CTypeID, const void*, uint32_t) override { return AAX_SUCCESS; }
    AAX_Result SetViewContainer(IACFUnknown*) override { return AAX_SUCCESS; }
    AAX_Result GetViewSize(AAX_Point*) const override { return AAX_SUCCESS; }
    AAX_Result Draw(AAX_Rect*) override { return AAX_SUCCESS; }
    AAX_Result TimerWakeup() override { return AAX_SUCCESS; }
    AAX_Result ParameterUpdated(AAX_CParamID id) override {
        updated.emplace_back(id != nullptr ? id : "<null>");
        return AAX_SUCCESS;
    }
    AAX_Result GetCustomLabel(AAX_EPlugInStrings, AAX_IString*) const override { return AAX_SUCCESS; }
    AAX_Result SetControlHighlightInfo(AAX_CParamID, bool, int32_t) override { return AAX_SUCCESS; }
    std::vector<std::string> updated;
};

#undef VSTHOST_TEST_COUNTED_UNKNOWN

// The host's IACFUnknown: answers the identifiers it was given, adding a reference each time.
class FakeHost : public IACFUnknown {
public:
    template <typename Interface>
    void Offer(const acfIID& iid, Interface* object) {
        offered_.push_back({iid, {static_cast<IACFUnknown*>(object), static_cast<void*>(object)}});
    }

    ACFRESULT QueryInterface(const acfIID& iid, void** out) override {
        queried.push_back(iid);
        if (out == nullptr) return ACF_E_NOINTERFACE;
        *out = nullptr;
        for (const auto& [offeredIid, object] : offered_) {
            if (offeredIid == iid) {
                object.first->AddRef();
                *out = object.second;
                return ACF_OK;
            }
        }
        return ACF_E_NOINTERFACE;
    }
    acfUInt32 AddRef() override { return 1; }
    acfUInt32 Release() override { return 1; }

    std::vector<acfIID> queried;

private:
    std::vector<std::pair<acfIID, std::pair<IACFUnknown*, void*>>> offered_;
};

}  // namespace vsthost_test
