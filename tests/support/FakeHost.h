// A scriptable host as a data model or GUI sees it through its IACFUnknown: a controller
// (version 1 and 2), an automation delegate and a transport (version 1 and 2), each a component
// of its own with a reference count. Answers are public fields a test sets; calls are recorded.
// The host owns its components; reference counts are only recorded, so a test can check that
// every reference taken was given back.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "interfaces/aax_effect.h"
#include "interfaces/aax_host.h"
#include "interfaces/aax_ids.h"

namespace testsupport {

// Reference counting shared by the fake components.
class FakeRefCount {
public:
    int32_t RefCount() const { return mRefCount.load(); }

protected:
    acfUInt32 AddRefImpl() { return static_cast<acfUInt32>(++mRefCount); }
    acfUInt32 ReleaseImpl() { return static_cast<acfUInt32>(--mRefCount); }

private:
    std::atomic<int32_t> mRefCount{0};
};

struct PostedPacket {
    AAX_CFieldIndex fieldIndex;
    std::vector<uint8_t> payload;
};

struct SentNotification {
    AAX_CTypeID type;
    std::vector<uint8_t> data;
};

class FakeHostController : public AAX_IACFController_V2, public FakeRefCount {
public:
    // Answers.
    std::string effectID = "com.brenlock.vantrelo-delay";
    std::string hostName = "FakeHost";
    float sampleRate = 48000.0f;
    int32_t inputStemFormat = AAX_eStemFormat_Stereo;
    int32_t outputStemFormat = AAX_eStemFormat_Stereo;
    int32_t signalLatency = 0;
    int32_t hybridSignalLatency = 0;
    int64_t todLocation = 0;
    AAX_CTimestamp automationTimestamp = 0;
    AAX_Result result = AAX_SUCCESS;      // every query's result; outputs untouched when non-zero
    AAX_Result postResult = AAX_SUCCESS;  // PostPacket's result; the packet is logged regardless

    // [any] Every PostPacket, in order, with a copy of its payload.
    std::vector<PostedPacket> Posts() const;
    void ClearPosts();
    std::vector<SentNotification> Notifications() const;

    ACFRESULT QueryInterface(const acfIID& iid, void** outInterface) override;
    acfUInt32 AddRef() override { return AddRefImpl(); }
    acfUInt32 Release() override { return ReleaseImpl(); }

    AAX_Result GetEffectID(AAX_IString* outEffectID) const override;
    AAX_Result GetSampleRate(float* outSampleRate) const override;
    AAX_Result GetInputStemFormat(int32_t* outStemFormat) const override;
    AAX_Result GetOutputStemFormat(int32_t* outStemFormat) const override;
    AAX_Result GetSignalLatency(int32_t* outSamples) const override;
    AAX_Result GetCycleCount(int32_t whichCycleCount, int32_t* outCycles) const override;
    AAX_Result GetTODLocation(int64_t* outTODLocation) const override;
    AAX_Result SetSignalLatency(int32_t numSamples) override;
    AAX_Result SetCycleCount(int32_t* selectors, int32_t* values, int32_t count) override;
    AAX_Result PostPacket(AAX_CFieldIndex fieldIndex, const void* payload, uint32_t payloadSize) override;
    AAX_Result GetCurrentMeterValue(AAX_CTypeID meterID, float* outValue) const override;
    AAX_Result GetMeterPeakValue(AAX_CTypeID meterID, float* outValue) const override;
    AAX_Result ClearMeterPeakValue(AAX_CTypeID meterID) const override;
    AAX_Result GetMeterClipped(AAX_CTypeID meterID, bool* outClipped) const override;
    AAX_Result ClearMeterClipped(AAX_CTypeID meterID) const override;
    AAX_Result GetMeterCount(uint32_t* outMeterCount) const override;
    AAX_Result GetNextMIDIPacket(AAX_CFieldIndex* outPort, AAX_CMidiPacket* outPacket) override;
    AAX_Result SendNotification(AAX_CTypeID type, const void* data, uint32_t size) override;
    AAX_Result GetHybridSignalLatency(int32_t* outSamples) const override;
    AAX_Result GetCurrentAutomationTimestamp(AAX_CTimestamp* outTimestamp) const override;
    AAX_Result GetHostName(AAX_IString* outHostName) const override;

private:
    mutable std::mutex mMutex;
    std::vector<PostedPacket> mPosts;
    std::vector<SentNotification> mNotifications;
};

struct HostAutomationCall {
    std::string operation;  // "Register", "Unregister", "SetValueRequest", "CurrentValue", "Touch", "Release"
    std::string id;
    double value = 0.0;  // for SetValueRequest and CurrentValue
    bool operator==(const HostAutomationCall&) const = default;
};

class FakeHostAutomationDelegate : public AAX_IACFAutomationDelegate, public FakeRefCount {
public:
    AAX_Result result = AAX_SUCCESS;  // what every operation answers

    // As a host does, answer each PostSetValueRequest by calling the data model's
    // UpdateParameterNormalizedValue with the requested value (after recording the request).
    // Null stops answering.
    void AnswerValueRequestsWith(AAX_IACFEffectParameters* dataModel) { mDataModel = dataModel; }

    const std::vector<HostAutomationCall>& Calls() const { return mCalls; }
    std::vector<HostAutomationCall> CallsFor(const std::string& id) const;
    void ClearCalls() { mCalls.clear(); }
    bool IsRegistered(const std::string& id) const;

    ACFRESULT QueryInterface(const acfIID& iid, void** outInterface) override;
    acfUInt32 AddRef() override { return AddRefImpl(); }
    acfUInt32 Release() override { return ReleaseImpl(); }

    AAX_Result RegisterParameter(AAX_CParamID parameterID) override;
    AAX_Result UnregisterParameter(AAX_CParamID parameterID) override;
    AAX_Result PostSetValueRequest(AAX_CParamID parameterID, double normalizedValue) const override;
    AAX_Result PostCurrentValue(AAX_CParamID parameterID, double normalizedValue) const override;
    AAX_Result PostTouchRequest(AAX_CParamID parameterID) override;
    AAX_Result PostReleaseRequest(AAX_CParamID parameterID) override;
    AAX_Result GetTouchState(AAX_CParamID parameterID, bool* outTouched) override;

private:
    void Record(const char* operation, AAX_CParamID id, double value = 0.0) const;

    // The operations that post are const in the interface; recording is the fake's bookkeeping.
    mutable std::vector<HostAutomationCall> mCalls;
    std::map<std::string, int32_t> mRegistrations;
    std::map<std::string, bool> mTouched;
    AAX_IACFEffectParameters* mDataModel = nullptr;
};

class FakeHostTransport : public AAX_IACFTransport_V2, public FakeRefCount {
public:
    double tempo = 120.0;
    int32_t meterNumerator = 4;
    int32_t meterDenominator = 4;
    bool playing = false;
    int64_t tickPosition = 0;
    bool looping = false;
    int64_t loopStartTick = 0;
    int64_t loopEndTick = 0;
    int64_t sampleLocation = 0;
    int32_t bars = 1;
    int32_t beats = 1;
    int64_t displayTicks = 0;
    uint32_t ticksPerQuarter = 960000;
    uint32_t ticksPerBeat = 960000;
    int64_t selectionStart = 0;
    int32_t timeCodeRate = 0;
    int64_t timeCodeOffset = 0;
    int32_t feetFramesRate = 0;
    int64_t feetFramesOffset = 0;
    AAX_Result result = AAX_SUCCESS;  // every query's result; outputs untouched when non-zero

    ACFRESULT QueryInterface(const acfIID& iid, void** outInterface) override;
    acfUInt32 AddRef() override { return AddRefImpl(); }
    acfUInt32 Release() override { return ReleaseImpl(); }

    AAX_Result GetCurrentTempo(double* outTempo) const override;
    AAX_Result GetCurrentMeter(int32_t* outNumerator, int32_t* outDenominator) const override;
    AAX_Result IsTransportPlaying(bool* outIsPlaying) const override;
    AAX_Result GetCurrentTickPosition(int64_t* outTickPosition) const override;
    AAX_Result GetCurrentLoopPosition(bool* outLooping, int64_t* outLoopStartTick,
                                      int64_t* outLoopEndTick) const override;
    AAX_Result GetCurrentNativeSampleLocation(int64_t* outSampleLocation) const override;
    AAX_Result GetCustomTickPosition(int64_t* outTickPosition, int64_t sampleLocation) const override;
    AAX_Result GetBarBeatPosition(int32_t* outBars, int32_t* outBeats, int64_t* outDisplayTicks,
                                  int64_t sampleLocation) const override;
    AAX_Result GetTicksPerQuarter(uint32_t* outTicks) const override;
    AAX_Result GetCurrentTicksPerBeat(uint32_t* outTicks) const override;
    AAX_Result GetTimelineSelectionStartPosition(int64_t* outSampleLocation) const override;
    AAX_Result GetTimeCodeInfo(int32_t* outFrameRate, int64_t* outOffset) const override;
    AAX_Result GetFeetFramesInfo(int32_t* outFeetFramesRate, int64_t* outOffset) const override;
};

// The host's IACFUnknown. Answers IID_IACFUnknown with itself and the controller, automation
// delegate and transport identifiers with its components, each query adding a reference to what
// it returns. A test withdraws an interface by clearing its offer flag.
class FakeHost : public IACFUnknown, public FakeRefCount {
public:
    FakeHost() = default;
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    bool offerController = true;
    bool offerControllerV2 = true;
    bool offerAutomationDelegate = true;
    bool offerTransport = true;
    bool offerTransportV2 = true;

    FakeHostController controller;
    FakeHostAutomationDelegate automation;
    FakeHostTransport transport;

    // The IACFUnknown to hand to Initialize.
    IACFUnknown* Unknown() { return this; }
    // True when no component holds a reference that was taken and not given back.
    bool AllReferencesReleased() const;

    ACFRESULT QueryInterface(const acfIID& iid, void** outInterface) override;
    acfUInt32 AddRef() override { return AddRefImpl(); }
    acfUInt32 Release() override { return ReleaseImpl(); }
};

}  // namespace testsupport
