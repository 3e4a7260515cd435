#include "effect/AAX_VHostWrappers.h"

#include "interfaces/aax_ids.h"

namespace {

// Queries unknown for iid; the interface pointer with one reference, or null.
template <typename Interface>
Interface* QueryHostInterface(IACFUnknown* unknown, const acfIID& iid) {
    if (unknown == nullptr) return nullptr;
    void* found = nullptr;
    if (unknown->QueryInterface(iid, &found) != ACF_OK) return nullptr;
    return static_cast<Interface*>(found);
}

template <typename Interface>
void ReleaseHostInterface(Interface*& held) {
    if (held != nullptr) held->Release();
    held = nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// AAX_VController

AAX_VController::AAX_VController(IACFUnknown* host)
    : mController(QueryHostInterface<AAX_IACFController>(host, IID_IAAXControllerV1)),
      mControllerV2(QueryHostInterface<AAX_IACFController_V2>(host, IID_IAAXControllerV2)) {}

AAX_VController::~AAX_VController() {
    ReleaseHostInterface(mControllerV2);
    ReleaseHostInterface(mController);
}

AAX_Result AAX_VController::GetEffectID(AAX_IString* outEffectID) const {
    return mController ? mController->GetEffectID(outEffectID) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VController::GetSampleRate(float* outSampleRate) const {
    return mController ? mController->GetSampleRate(outSampleRate) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VController::GetInputStemFormat(int32_t* outStemFormat) const {
    return mController ? mController->GetInputStemFormat(outStemFormat) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VController::GetOutputStemFormat(int32_t* outStemFormat) const {
    return mController ? mController->GetOutputStemFormat(outStemFormat) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VController::GetSignalLatency(int32_t* outSamples) const {
    return mController ? mController->GetSignalLatency(outSamples) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VController::GetCycleCount(int32_t whichCycleCount, int32_t* outCycles) const {
    return mController ? mController->GetCycleCount(whichCycleCount, outCycles) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VController::GetTODLocation(int64_t* outTODLocation) const {
    return mController ? mController->GetTODLocation(outTODLocation) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VController::SetSignalLatency(int32_t numSamples) {
    return mController ? mController->SetSignalLatency(numSamples) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VController::SetCycleCount(int32_t* selectors, int32_t* values, int32_t count) {
    return mController ? mController->SetCycleCount(selectors, values, count) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VController::PostPacket(AAX_CFieldIndex fieldIndex, const void* payload, uint32_t payloadSize) {
    return mController ? mController->PostPacket(fieldIndex, payload, payloadSize) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VController::SendNotification(AAX_CTypeID type, const void* data, uint32_t size) {
    return mControllerV2 ? mControllerV2->SendNotification(type, data, size) : AAX_ERROR_UNIMPLEMENTED;
}
AAX_Result AAX_VController::GetCurrentMeterValue(AAX_CTypeID meterID, float* outValue) const {
    return mController ? mController->GetCurrentMeterValue(meterID, outValue) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VController::GetMeterPeakValue(AAX_CTypeID meterID, float* outValue) const {
    return mController ? mController->GetMeterPeakValue(meterID, outValue) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VController::ClearMeterPeakValue(AAX_CTypeID meterID) const {
    return mController ? mController->ClearMeterPeakValue(meterID) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VController::GetMeterClipped(AAX_CTypeID meterID, bool* outClipped) const {
    return mController ? mController->GetMeterClipped(meterID, outClipped) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VController::ClearMeterClipped(AAX_CTypeID meterID) const {
    return mController ? mController->ClearMeterClipped(meterID) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VController::GetMeterCount(uint32_t* outMeterCount) const {
    return mController ? mController->GetMeterCount(outMeterCount) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VController::GetNextMIDIPacket(AAX_CFieldIndex* outPort, AAX_CMidiPacket* outPacket) {
    return mController ? mController->GetNextMIDIPacket(outPort, outPacket) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VController::GetHybridSignalLatency(int32_t* outSamples) const {
    return mControllerV2 ? mControllerV2->GetHybridSignalLatency(outSamples) : AAX_ERROR_UNIMPLEMENTED;
}
AAX_Result AAX_VController::GetCurrentAutomationTimestamp(AAX_CTimestamp* outTimestamp) const {
    if (mControllerV2) return mControllerV2->GetCurrentAutomationTimestamp(outTimestamp);
    if (outTimestamp != nullptr) *outTimestamp = 0;
    return AAX_ERROR_UNIMPLEMENTED;
}
AAX_Result AAX_VController::GetHostName(AAX_IString* outHostName) const {
    return mControllerV2 ? mControllerV2->GetHostName(outHostName) : AAX_ERROR_UNIMPLEMENTED;
}

// ---------------------------------------------------------------------------------------------
// AAX_VTransport

AAX_VTransport::AAX_VTransport(IACFUnknown* host)
    : mTransport(QueryHostInterface<AAX_IACFTransport>(host, IID_IAAXTransportV1)),
      mTransportV2(QueryHostInterface<AAX_IACFTransport_V2>(host, IID_IAAXTransportV2)) {}

AAX_VTransport::~AAX_VTransport() {
    ReleaseHostInterface(mTransportV2);
    ReleaseHostInterface(mTransport);
}

AAX_Result AAX_VTransport::GetCurrentTempo(double* outTempo) const {
    return mTransport ? mTransport->GetCurrentTempo(outTempo) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VTransport::GetCurrentMeter(int32_t* outNumerator, int32_t* outDenominator) const {
    return mTransport ? mTransport->GetCurrentMeter(outNumerator, outDenominator) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VTransport::IsTransportPlaying(bool* outIsPlaying) const {
    return mTransport ? mTransport->IsTransportPlaying(outIsPlaying) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VTransport::GetCurrentTickPosition(int64_t* outTickPosition) const {
    return mTransport ? mTransport->GetCurrentTickPosition(outTickPosition) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VTransport::GetCurrentLoopPosition(bool* outLooping, int64_t* outLoopStartTick,
                                                  int64_t* outLoopEndTick) const {
    return mTransport ? mTransport->GetCurrentLoopPosition(outLooping, outLoopStartTick, outLoopEndTick)
                      : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VTransport::GetCurrentNativeSampleLocation(int64_t* outSampleLocation) const {
    return mTransport ? mTransport->GetCurrentNativeSampleLocation(outSampleLocation) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VTransport::GetCustomTickPosition(int64_t* outTickPosition, int64_t sampleLocation) const {
    return mTransport ? mTransport->GetCustomTickPosition(outTickPosition, sampleLocation) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VTransport::GetBarBeatPosition(int32_t* outBars, int32_t* outBeats, int64_t* outDisplayTicks,
                                              int64_t sampleLocation) const {
    return mTransport ? mTransport->GetBarBeatPosition(outBars, outBeats, outDisplayTicks, sampleLocation)
                      : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VTransport::GetTicksPerQuarter(uint32_t* outTicks) const {
    return mTransport ? mTransport->GetTicksPerQuarter(outTicks) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VTransport::GetCurrentTicksPerBeat(uint32_t* outTicks) const {
    return mTransport ? mTransport->GetCurrentTicksPerBeat(outTicks) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VTransport::GetTimelineSelectionStartPosition(int64_t* outSampleLocation) const {
    return mTransportV2 ? mTransportV2->GetTimelineSelectionStartPosition(outSampleLocation) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VTransport::GetTimeCodeInfo(int32_t* outFrameRate, int64_t* outOffset) const {
    return mTransportV2 ? mTransportV2->GetTimeCodeInfo(outFrameRate, outOffset) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VTransport::GetFeetFramesInfo(int32_t* outFeetFramesRate, int64_t* outOffset) const {
    return mTransportV2 ? mTransportV2->GetFeetFramesInfo(outFeetFramesRate, outOffset) : AAX_ERROR_NULL_OBJECT;
}

// ---------------------------------------------------------------------------------------------
// AAX_VAutomationDelegate

AAX_VAutomationDelegate::AAX_VAutomationDelegate(IACFUnknown* host)
    : mDelegate(QueryHostInterface<AAX_IACFAutomationDelegate>(host, IID_IAAXAutomationDelegateV1)) {}

AAX_VAutomationDelegate::~AAX_VAutomationDelegate() { ReleaseHostInterface(mDelegate); }

AAX_Result AAX_VAutomationDelegate::RegisterParameter(AAX_CParamID parameterID) {
    return mDelegate ? mDelegate->RegisterParameter(parameterID) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VAutomationDelegate::UnregisterParameter(AAX_CParamID parameterID) {
    return mDelegate ? mDelegate->UnregisterParameter(parameterID) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VAutomationDelegate::PostSetValueRequest(AAX_CParamID parameterID, double normalizedValue) const {
    return mDelegate ? mDelegate->PostSetValueRequest(parameterID, normalizedValue) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VAutomationDelegate::PostCurrentValue(AAX_CParamID parameterID, double normalizedValue) const {
    return mDelegate ? mDelegate->PostCurrentValue(parameterID, normalizedValue) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VAutomationDelegate::PostTouchRequest(AAX_CParamID parameterID) {
    return mDelegate ? mDelegate->PostTouchRequest(parameterID) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VAutomationDelegate::PostReleaseRequest(AAX_CParamID parameterID) {
    return mDelegate ? mDelegate->PostReleaseRequest(parameterID) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VAutomationDelegate::GetTouchState(AAX_CParamID parameterID, bool* outTouched) {
    return mDelegate ? mDelegate->GetTouchState(parameterID, outTouched) : AAX_ERROR_NULL_OBJECT;
}

// ---------------------------------------------------------------------------------------------
// AAX_VViewContainer

AAX_VViewContainer::AAX_VViewContainer(IACFUnknown* viewContainer)
    : mContainer(QueryHostInterface<AAX_IACFViewContainer>(viewContainer, IID_IAAXViewContainerV1)) {}

int32_t AAX_VViewContainer::GetType() {
    return mContainer ? mContainer->GetType() : AAX_eViewContainer_Type_NULL;
}
void* AAX_VViewContainer::GetPtr() { return mContainer ? mContainer->GetPtr() : nullptr; }
AAX_Result AAX_VViewContainer::GetModifiers(uint32_t* outModifiers) {
    return mContainer ? mContainer->GetModifiers(outModifiers) : AAX_ERROR_UNIMPLEMENTED;
}
AAX_Result AAX_VViewContainer::SetViewSize(AAX_Point& size) {
    return mContainer ? mContainer->SetViewSize(size) : AAX_SUCCESS;
}
AAX_Result AAX_VViewContainer::HandleParameterMouseDown(AAX_CParamID parameterID, uint32_t modifiers) {
    return mContainer ? mContainer->HandleParameterMouseDown(parameterID, modifiers) : AAX_ERROR_UNIMPLEMENTED;
}
AAX_Result AAX_VViewContainer::HandleParameterMouseDrag(AAX_CParamID parameterID, uint32_t modifiers) {
    return mContainer ? mContainer->HandleParameterMouseDrag(parameterID, modifiers) : AAX_ERROR_UNIMPLEMENTED;
}
AAX_Result AAX_VViewContainer::HandleParameterMouseUp(AAX_CParamID parameterID, uint32_t modifiers) {
    return mContainer ? mContainer->HandleParameterMouseUp(parameterID, modifiers) : AAX_ERROR_UNIMPLEMENTED;
}

// ---------------------------------------------------------------------------------------------
// AAX_VHostServices

AAX_VHostServices::AAX_VHostServices(IACFUnknown* host) {
    IACFComponentFactory* factory = QueryHostInterface<IACFComponentFactory>(host, IID_IACFComponentFactory);
    if (factory == nullptr) return;
    void* created = nullptr;
    if (factory->CreateComponent(AAXCompID_HostServices, nullptr, IID_IAAXHostServicesV1, &created) == ACF_OK) {
        mHostServices = static_cast<AAX_IACFHostServices*>(created);
    }
    factory->Release();
}

AAX_VHostServices::~AAX_VHostServices() { ReleaseHostInterface(mHostServices); }

void AAX_VHostServices::ReleaseHost() {
    AAX_IACFHostServices* const held = mHostServices;
    mHostServices = nullptr;
    if (held != nullptr) held->Release();
}

AAX_Result AAX_VHostServices::HandleAssertFailure(const char* file, int32_t line, const char* note) const {
    return mHostServices ? mHostServices->HandleAssertFailure(file, line, note) : AAX_ERROR_NULL_OBJECT;
}
AAX_Result AAX_VHostServices::Trace(int32_t priority, const char* message) const {
    return mHostServices ? mHostServices->Trace(priority, message) : AAX_ERROR_NULL_OBJECT;
}
