// Wrappers of the host's run-time interfaces. Each queries the host's IACFUnknown for the
// interface it needs and keeps the pointer, or null when the query fails; every operation
// forwards to it and returns the host's result, or a fixed answer without it.
#pragma once

#include <cstdint>

#include "interfaces/aax_host.h"

// [main] except PostPacket [any]. Holds the controller interface and its version-2 interface.
// Without the former, its operations answer AAX_ERROR_NULL_OBJECT; without the latter,
// SendNotification, GetHybridSignalLatency, GetCurrentAutomationTimestamp (which also zeroes its
// output) and GetHostName answer AAX_ERROR_UNIMPLEMENTED.
class AAX_VController : public AAX_IController {
public:
    explicit AAX_VController(IACFUnknown* host);
    ~AAX_VController() override;
    AAX_VController(const AAX_VController&) = delete;
    AAX_VController& operator=(const AAX_VController&) = delete;

    // True when the controller interface is held.
    bool IsValid() const { return mController != nullptr; }

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
    AAX_Result SendNotification(AAX_CTypeID type, const void* data, uint32_t size) override;
    AAX_Result GetCurrentMeterValue(AAX_CTypeID meterID, float* outValue) const override;
    AAX_Result GetMeterPeakValue(AAX_CTypeID meterID, float* outValue) const override;
    AAX_Result ClearMeterPeakValue(AAX_CTypeID meterID) const override;
    AAX_Result GetMeterClipped(AAX_CTypeID meterID, bool* outClipped) const override;
    AAX_Result ClearMeterClipped(AAX_CTypeID meterID) const override;
    AAX_Result GetMeterCount(uint32_t* outMeterCount) const override;
    AAX_Result GetNextMIDIPacket(AAX_CFieldIndex* outPort, AAX_CMidiPacket* outPacket) override;
    AAX_Result GetHybridSignalLatency(int32_t* outSamples) const override;
    AAX_Result GetCurrentAutomationTimestamp(AAX_CTimestamp* outTimestamp) const override;
    AAX_Result GetHostName(AAX_IString* outHostName) const override;

private:
    AAX_IACFController* mController = nullptr;
    AAX_IACFController_V2* mControllerV2 = nullptr;
};

// [any] Holds the transport interface and its version-2 interface; without the one an
// operation needs, it answers AAX_ERROR_NULL_OBJECT. Final, so that slot 0 destroys the whole
// object; its owners delete it as this type.
class AAX_VTransport final : public AAX_ITransport {
public:
    explicit AAX_VTransport(IACFUnknown* host);
    ~AAX_VTransport();
    AAX_VTransport(const AAX_VTransport&) = delete;
    AAX_VTransport& operator=(const AAX_VTransport&) = delete;

    // True when the transport interface is held.
    bool IsValid() const { return mTransport != nullptr; }

    void* Destroy(uint32_t flags) override { return AAX_DestroyFinal(this, flags); }
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

private:
    AAX_IACFTransport* mTransport = nullptr;
    AAX_IACFTransport_V2* mTransportV2 = nullptr;
};

// [main] Holds the automation delegate interface; without it every operation answers
// AAX_ERROR_NULL_OBJECT.
class AAX_VAutomationDelegate : public AAX_IAutomationDelegate {
public:
    explicit AAX_VAutomationDelegate(IACFUnknown* host);
    ~AAX_VAutomationDelegate() override;
    AAX_VAutomationDelegate(const AAX_VAutomationDelegate&) = delete;
    AAX_VAutomationDelegate& operator=(const AAX_VAutomationDelegate&) = delete;

    bool IsValid() const { return mDelegate != nullptr; }

    AAX_Result RegisterParameter(AAX_CParamID parameterID) override;
    AAX_Result UnregisterParameter(AAX_CParamID parameterID) override;
    AAX_Result PostSetValueRequest(AAX_CParamID parameterID, double normalizedValue) const override;
    AAX_Result PostCurrentValue(AAX_CParamID parameterID, double normalizedValue) const override;
    AAX_Result PostTouchRequest(AAX_CParamID parameterID) override;
    AAX_Result PostReleaseRequest(AAX_CParamID parameterID) override;
    AAX_Result GetTouchState(AAX_CParamID parameterID, bool* outTouched) override;

private:
    AAX_IACFAutomationDelegate* mDelegate = nullptr;
};

// [main] Holds the view container interface. Without it: GetType answers 0 (no container),
// GetPtr null, SetViewSize 0 and the other operations AAX_ERROR_UNIMPLEMENTED. The reference
// taken by the query is not released: the host keeps the container alive while the view exists.
class AAX_VViewContainer : public AAX_IViewContainer {
public:
    explicit AAX_VViewContainer(IACFUnknown* viewContainer);
    ~AAX_VViewContainer() override = default;
    AAX_VViewContainer(const AAX_VViewContainer&) = delete;
    AAX_VViewContainer& operator=(const AAX_VViewContainer&) = delete;

    bool IsValid() const { return mContainer != nullptr; }

    int32_t GetType() override;
    void* GetPtr() override;
    AAX_Result GetModifiers(uint32_t* outModifiers) override;
    AAX_Result SetViewSize(AAX_Point& size) override;
    AAX_Result HandleParameterMouseDown(AAX_CParamID parameterID, uint32_t modifiers) override;
    AAX_Result HandleParameterMouseDrag(AAX_CParamID parameterID, uint32_t modifiers) override;
    AAX_Result HandleParameterMouseUp(AAX_CParamID parameterID, uint32_t modifiers) override;

private:
    AAX_IACFViewContainer* mContainer = nullptr;
};

// [any] The process-wide host services. Construction asks the host for its component factory,
// has it create the host-services component and releases the factory. Without the component
// both operations answer AAX_ERROR_NULL_OBJECT.
class AAX_VHostServices : public AAX_IHostServices {
public:
    explicit AAX_VHostServices(IACFUnknown* host);
    ~AAX_VHostServices() override;
    AAX_VHostServices(const AAX_VHostServices&) = delete;
    AAX_VHostServices& operator=(const AAX_VHostServices&) = delete;

    bool IsValid() const { return mHostServices != nullptr; }
    // [main] Gives the host-services component back now, so that the destructor has nothing left
    // to release. Whatever the host's release throws reaches the caller, who can answer for it;
    // from the destructor it could only end the process.
    void ReleaseHost();

    AAX_Result HandleAssertFailure(const char* file, int32_t line, const char* note) const override;
    AAX_Result Trace(int32_t priority, const char* message) const override;

private:
    AAX_IACFHostServices* mHostServices = nullptr;
};
