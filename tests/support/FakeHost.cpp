#include "support/FakeHost.h"

#include <cstring>

namespace testsupport {

namespace {

template <typename Interface, typename Component>
ACFRESULT Answer(Component& component, void** outInterface) {
    *outInterface = static_cast<Interface*>(&component);
    component.AddRef();
    return ACF_OK;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Controller

std::vector<PostedPacket> FakeHostController::Posts() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mPosts;
}

void FakeHostController::ClearPosts() {
    std::lock_guard<std::mutex> lock(mMutex);
    mPosts.clear();
}

std::vector<SentNotification> FakeHostController::Notifications() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mNotifications;
}

ACFRESULT FakeHostController::QueryInterface(const acfIID& iid, void** outInterface) {
    if (outInterface == nullptr) return ACF_E_NOINTERFACE;
    *outInterface = nullptr;
    if (iid == IID_IACFUnknown) return Answer<IACFUnknown>(*this, outInterface);
    if (iid == IID_IAAXControllerV1) return Answer<AAX_IACFController>(*this, outInterface);
    if (iid == IID_IAAXControllerV2) return Answer<AAX_IACFController_V2>(*this, outInterface);
    return ACF_E_NOINTERFACE;
}

AAX_Result FakeHostController::GetEffectID(AAX_IString* outEffectID) const {
    if (result == AAX_SUCCESS && outEffectID != nullptr) outEffectID->Set(effectID.c_str());
    return result;
}

AAX_Result FakeHostController::GetSampleRate(float* outSampleRate) const {
    if (result == AAX_SUCCESS && outSampleRate != nullptr) *outSampleRate = sampleRate;
    return result;
}

AAX_Result FakeHostController::GetInputStemFormat(int32_t* outStemFormat) const {
    if (result == AAX_SUCCESS && outStemFormat != nullptr) *outStemFormat = inputStemFormat;
    return result;
}

AAX_Result FakeHostController::GetOutputStemFormat(int32_t* outStemFormat) const {
    if (result == AAX_SUCCESS && outStemFormat != nullptr) *outStemFormat = outputStemFormat;
    return result;
}

AAX_Result FakeHostController::GetSignalLatency(int32_t* outSamples) const {
    if (result == AAX_SUCCESS && outSamples != nullptr) *outSamples = signalLatency;
    return result;
}

AAX_Result FakeHostController::GetCycleCount(int32_t, int32_t* outCycles) const {
    if (result == AAX_SUCCESS && outCycles != nullptr) *outCycles = 0;
    return result;
}

AAX_Result FakeHostController::GetTODLocation(int64_t* outTODLocation) const {
    if (result == AAX_SUCCESS && outTODLocation != nullptr) *outTODLocation = todLocation;
    return result;
}

AAX_Result FakeHostController::SetSignalLatency(int32_t numSamples) {
    if (result == AAX_SUCCESS) signalLatency = numSamples;
    return result;
}

AAX_Result FakeHostController::SetCycleCount(int32_t*, int32_t*, int32_t) { return result; }

AAX_Result FakeHostController::PostPacket(AAX_CFieldIndex fieldIndex, const void* payload, uint32_t payloadSize) {
    PostedPacket packet{fieldIndex, {}};
    if (payload != nullptr && payloadSize > 0) {
        const auto* bytes = static_cast<const uint8_t*>(payload);
        packet.payload.assign(bytes, bytes + payloadSize);
    }
    std::lock_guard<std::mutex> lock(mMutex);
    mPosts.push_back(std::move(packet));
    return postResult;
}

AAX_Result FakeHostController::GetCurrentMeterValue(AAX_CTypeID, float* outValue) const {
    if (result == AAX_SUCCESS && outValue != nullptr) *outValue = 0.0f;
    return result;
}

AAX_Result FakeHostController::GetMeterPeakValue(AAX_CTypeID, float* outValue) const {
    if (result == AAX_SUCCESS && outValue != nullptr) *outValue = 0.0f;
    return result;
}

AAX_Result FakeHostController::ClearMeterPeakValue(AAX_CTypeID) const { return result; }

AAX_Result FakeHostController::GetMeterClipped(AAX_CTypeID, bool* outClipped) const {
    if (result == AAX_SUCCESS && outClipped != nullptr) *outClipped = false;
    return result;
}

AAX_Result FakeHostController::ClearMeterClipped(AAX_CTypeID) const { return result; }

AAX_Result FakeHostController::GetMeterCount(uint32_t* outMeterCount) const {
    if (result == AAX_SUCCESS && outMeterCount != nullptr) *outMeterCount = 0;
    return result;
}

// The fake host queues no MIDI for the data model.
AAX_Result FakeHostController::GetNextMIDIPacket(AAX_CFieldIndex*, AAX_CMidiPacket*) {
    return AAX_ERROR_UNIMPLEMENTED;
}

AAX_Result FakeHostController::SendNotification(AAX_CTypeID type, const void* data, uint32_t size) {
    SentNotification notification{type, {}};
    if (data != nullptr && size > 0) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        notification.data.assign(bytes, bytes + size);
    }
    std::lock_guard<std::mutex> lock(mMutex);
    mNotifications.push_back(std::move(notification));
    return result;
}

AAX_Result FakeHostController::GetHybridSignalLatency(int32_t* outSamples) const {
    if (result == AAX_SUCCESS && outSamples != nullptr) *outSamples = hybridSignalLatency;
    return result;
}

AAX_Result FakeHostController::GetCurrentAutomationTimestamp(AAX_CTimestamp* outTimestamp) const {
    if (result == AAX_SUCCESS && outTimestamp != nullptr) *outTimestamp = automationTimestamp;
    return result;
}

AAX_Result FakeHostController::GetHostName(AAX_IString* outHostName) const {
    if (result == AAX_SUCCESS && outHostName != nullptr) outHostName->Set(hostName.c_str());
    return result;
}

// ---------------------------------------------------------------------------------------------
// Automation delegate

std::vector<HostAutomationCall> FakeHostAutomationDelegate::CallsFor(const std::string& id) const {
    std::vector<HostAutomationCall> calls;
    for (const HostAutomationCall& call : mCalls) {
        if (call.id == id) calls.push_back(call);
    }
    return calls;
}

bool FakeHostAutomationDelegate::IsRegistered(const std::string& id) const {
    const auto found = mRegistrations.find(id);
    return found != mRegistrations.end() && found->second > 0;
}

void FakeHostAutomationDelegate::Record(const char* operation, AAX_CParamID id, double value) const {
    mCalls.push_back({operation, id != nullptr ? id : "", value});
}

ACFRESULT FakeHostAutomationDelegate::QueryInterface(const acfIID& iid, void** outInterface) {
    if (outInterface == nullptr) return ACF_E_NOINTERFACE;
    *outInterface = nullptr;
    if (iid == IID_IACFUnknown) return Answer<IACFUnknown>(*this, outInterface);
    if (iid == IID_IAAXAutomationDelegateV1) return Answer<AAX_IACFAutomationDelegate>(*this, outInterface);
    return ACF_E_NOINTERFACE;
}

AAX_Result FakeHostAutomationDelegate::RegisterParameter(AAX_CParamID parameterID) {
    Record("Register", parameterID);
    if (parameterID != nullptr) ++mRegistrations[parameterID];
    return result;
}

AAX_Result FakeHostAutomationDelegate::UnregisterParameter(AAX_CParamID parameterID) {
    Record("Unregister", parameterID);
    if (parameterID != nullptr) --mRegistrations[parameterID];
    return result;
}

AAX_Result FakeHostAutomationDelegate::PostSetValueRequest(AAX_CParamID parameterID, double normalizedValue) const {
    Record("SetValueRequest", parameterID, normalizedValue);
    if (mDataModel != nullptr && parameterID != nullptr) {
        // The host settles the value and hands it back, as it does for a request it grants.
        const std::string id = parameterID;
        mDataModel->UpdateParameterNormalizedValue(id.c_str(), normalizedValue, AAX_eUpdateSource_Unspecified);
    }
    return result;
}

AAX_Result FakeHostAutomationDelegate::PostCurrentValue(AAX_CParamID parameterID, double normalizedValue) const {
    Record("CurrentValue", parameterID, normalizedValue);
    return result;
}

AAX_Result FakeHostAutomationDelegate::PostTouchRequest(AAX_CParamID parameterID) {
    Record("Touch", parameterID);
    if (parameterID != nullptr) mTouched[parameterID] = true;
    return result;
}

AAX_Result FakeHostAutomationDelegate::PostReleaseRequest(AAX_CParamID parameterID) {
    Record("Release", parameterID);
    if (parameterID != nullptr) mTouched[parameterID] = false;
    return result;
}

AAX_Result FakeHostAutomationDelegate::GetTouchState(AAX_CParamID parameterID, bool* outTouched) {
    if (result != AAX_SUCCESS || outTouched == nullptr) return result;
    const auto found = parameterID != nullptr ? mTouched.find(parameterID) : mTouched.end();
    *outTouched = found != mTouched.end() && found->second;
    return result;
}

// ---------------------------------------------------------------------------------------------
// Transport

ACFRESULT FakeHostTransport::QueryInterface(const acfIID& iid, void** outInterface) {
    if (outInterface == nullptr) return ACF_E_NOINTERFACE;
    *outInterface = nullptr;
    if (iid == IID_IACFUnknown) return Answer<IACFUnknown>(*this, outInterface);
    if (iid == IID_IAAXTransportV1) return Answer<AAX_IACFTransport>(*this, outInterface);
    if (iid == IID_IAAXTransportV2) return Answer<AAX_IACFTransport_V2>(*this, outInterface);
    return ACF_E_NOINTERFACE;
}

AAX_Result FakeHostTransport::GetCurrentTempo(double* outTempo) const {
    if (result == AAX_SUCCESS && outTempo != nullptr) *outTempo = tempo;
    return result;
}

AAX_Result FakeHostTransport::GetCurrentMeter(int32_t* outNumerator, int32_t* outDenominator) const {
    if (result != AAX_SUCCESS) return result;
    if (outNumerator != nullptr) *outNumerator = meterNumerator;
    if (outDenominator != nullptr) *outDenominator = meterDenominator;
    return result;
}

AAX_Result FakeHostTransport::IsTransportPlaying(bool* outIsPlaying) const {
    if (result == AAX_SUCCESS && outIsPlaying != nullptr) *outIsPlaying = playing;
    return result;
}

AAX_Result FakeHostTransport::GetCurrentTickPosition(int64_t* outTickPosition) const {
    if (result == AAX_SUCCESS && outTickPosition != nullptr) *outTickPosition = tickPosition;
    return result;
}

AAX_Result FakeHostTransport::GetCurrentLoopPosition(bool* outLooping, int64_t* outLoopStartTick,
                                                     int64_t* outLoopEndTick) const {
    if (result != AAX_SUCCESS) return result;
    if (outLooping != nullptr) *outLooping = looping;
    if (outLoopStartTick != nullptr) *outLoopStartTick = loopStartTick;
    if (outLoopEndTick != nullptr) *outLoopEndTick = loopEndTick;
    return result;
}

AAX_Result FakeHostTransport::GetCurrentNativeSampleLocation(int64_t* outSampleLocation) const {
    if (result == AAX_SUCCESS && outSampleLocation != nullptr) *outSampleLocation = sampleLocation;
    return result;
}

AAX_Result FakeHostTransport::GetCustomTickPosition(int64_t* outTickPosition, int64_t) const {
    if (result == AAX_SUCCESS && outTickPosition != nullptr) *outTickPosition = tickPosition;
    return result;
}

AAX_Result FakeHostTransport::GetBarBeatPosition(int32_t* outBars, int32_t* outBeats, int64_t* outDisplayTicks,
                                                 int64_t) const {
    if (result != AAX_SUCCESS) return result;
    if (outBars != nullptr) *outBars = bars;
    if (outBeats != nullptr) *outBeats = beats;
    if (outDisplayTicks != nullptr) *outDisplayTicks = displayTicks;
    return result;
}

AAX_Result FakeHostTransport::GetTicksPerQuarter(uint32_t* outTicks) const {
    if (result == AAX_SUCCESS && outTicks != nullptr) *outTicks = ticksPerQuarter;
    return result;
}

AAX_Result FakeHostTransport::GetCurrentTicksPerBeat(uint32_t* outTicks) const {
    if (result == AAX_SUCCESS && outTicks != nullptr) *outTicks = ticksPerBeat;
    return result;
}

AAX_Result FakeHostTransport::GetTimelineSelectionStartPosition(int64_t* outSampleLocation) const {
    if (result == AAX_SUCCESS && outSampleLocation != nullptr) *outSampleLocation = selectionStart;
    return result;
}

AAX_Result FakeHostTransport::GetTimeCodeInfo(int32_t* outFrameRate, int64_t* outOffset) const {
    if (result != AAX_SUCCESS) return result;
    if (outFrameRate != nullptr) *outFrameRate = timeCodeRate;
    if (outOffset != nullptr) *outOffset = timeCodeOffset;
    return result;
}

AAX_Result FakeHostTransport::GetFeetFramesInfo(int32_t* outFeetFramesRate, int64_t* outOffset) const {
    if (result != AAX_SUCCESS) return result;
    if (outFeetFramesRate != nullptr) *outFeetFramesRate = feetFramesRate;
    if (outOffset != nullptr) *outOffset = feetFramesOffset;
    return result;
}

// ---------------------------------------------------------------------------------------------
// Host

bool FakeHost::AllReferencesReleased() const {
    return controller.RefCount() == 0 && automation.RefCount() == 0 && transport.RefCount() == 0 &&
           RefCount() == 0;
}

ACFRESULT FakeHost::QueryInterface(const acfIID& iid, void** outInterface) {
    if (outInterface == nullptr) return ACF_E_NOINTERFACE;
    *outInterface = nullptr;
    if (iid == IID_IACFUnknown) return Answer<IACFUnknown>(*this, outInterface);
    if (iid == IID_IAAXControllerV1 && offerController) {
        return Answer<AAX_IACFController>(controller, outInterface);
    }
    if (iid == IID_IAAXControllerV2 && offerController && offerControllerV2) {
        return Answer<AAX_IACFController_V2>(controller, outInterface);
    }
    if (iid == IID_IAAXAutomationDelegateV1 && offerAutomationDelegate) {
        return Answer<AAX_IACFAutomationDelegate>(automation, outInterface);
    }
    if (iid == IID_IAAXTransportV1 && offerTransport) return Answer<AAX_IACFTransport>(transport, outInterface);
    if (iid == IID_IAAXTransportV2 && offerTransport && offerTransportV2) {
        return Answer<AAX_IACFTransport_V2>(transport, outInterface);
    }
    return ACF_E_NOINTERFACE;
}

}  // namespace testsupport
