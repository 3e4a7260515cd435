#include "vsthost/VstCallBack.h"

#include <cstring>

#include "params/AAX_CParameterManager.h"
#include "vsthost/VstInterface.h"

namespace {

// Controller 123 (all notes off) on MIDI channel 1, value 0.
constexpr char kAllNotesOff[4] = {static_cast<char>(0xB0), 0x7B, 0x00, 0x00};

// What the calling thread is in the middle of. Each marks a call into the effect during which
// the effect may call back on the same thread; answering such a call as usual would recurse
// without end or read a record that is not finished.
thread_local int tEntryPointDepth = 0;                       // running an effect's entry point
thread_local const VstCallBack* tSendingRateFrom = nullptr;  // sending effSetSampleRate
thread_local const VstCallBack* tDeliveringTo = nullptr;     // handing a parameter value over
thread_local int32_t tDeliveredIndex = -1;

}  // namespace

VstCallBack::EntryPointCall::EntryPointCall() { ++tEntryPointDepth; }

VstCallBack::EntryPointCall::~EntryPointCall() { --tEntryPointDepth; }

VstCallBack::ParameterDelivery::ParameterDelivery(const VstCallBack& callBack, int32_t index)
    : previousCallBack_(tDeliveringTo), previousIndex_(tDeliveredIndex) {
    tDeliveringTo = &callBack;
    tDeliveredIndex = index;
}

VstCallBack::ParameterDelivery::~ParameterDelivery() {
    tDeliveringTo = previousCallBack_;
    tDeliveredIndex = previousIndex_;
}

VstCallBack::VstCallBack(AAXWrapper_Parameters* ownerObject)
    : wasPlaying(0),
      isPlaying(0),
      tempo(120.0),
      timeSigNumerator(4),
      timeSigDenominator(4),
      ppqPosition(0.0),
      ppqOffset(0.0),
      samplePosition(0),
      tempoValid(0),
      timeSigValid(0),
      positionValid(0),
      editorGui(nullptr),
      timeInfo{},
      parameterManager(nullptr),
      owner(ownerObject),
      controller(nullptr),
      stopEvent(new uint8_t[kStopEventBufferSize]()) {}

VstCallBack::~VstCallBack() = default;

intptr_t VstCallBack::HostCallback(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t /*value*/,
                                   void* ptr, float opt) {
    switch (opcode) {
        case vst2::audioMasterVersion:
            return kHostVersion;
        case vst2::audioMasterCurrentId:
            return kHostCurrentId;
        case vst2::audioMasterGetVendorString:
            if (ptr != nullptr) std::memcpy(ptr, kVendorString, kVendorStringBytes);
            return 0;
        case vst2::audioMasterAutomate:
        case vst2::audioMasterGetTime:
        case vst2::audioMasterSizeWindow:
        case vst2::audioMasterGetSampleRate:
        case vst2::audioMasterUpdateDisplay:
        case vst2::audioMasterBeginEdit:
        case vst2::audioMasterEndEdit: {
            // While the entry point runs, the record is the effect's unfinished work: `user` may
            // hold anything.
            if (effect == nullptr || tEntryPointDepth > 0 || effect->user == nullptr) return 0;
            auto* self = static_cast<VstCallBack*>(effect->user);
            return self->OnHostOpcode(effect, opcode, index, ptr, opt);
        }
        default:
            return 0;
    }
}

intptr_t VstCallBack::OnHostOpcode(vst2::AEffect* effect, int32_t opcode, int32_t index, void* /*ptr*/,
                                   float opt) {
    switch (opcode) {
        case vst2::audioMasterGetTime:
            return AnswerTimeRequest(effect, opt);
        case vst2::audioMasterGetSampleRate:
            return AnswerSampleRateRequest(effect);
        case vst2::audioMasterAutomate:
        case vst2::audioMasterBeginEdit:
        case vst2::audioMasterEndEdit:
            return HandleParameterGesture(effect, opcode, index, opt);
        case vst2::audioMasterUpdateDisplay:
            return HandleDisplayUpdate(effect, opt);
        case vst2::audioMasterSizeWindow:
        default:
            return 0;
    }
}

void VstCallBack::SetController(AAX_IController* hostController) {
    controller = hostController;
    controllerRate.store(static_cast<float>(kDefaultSampleRate), std::memory_order_relaxed);
    rateController.store(nullptr, std::memory_order_release);
}

float VstCallBack::CurrentSampleRate() {
    // A controller that does not answer leaves the default in place.
    AAX_IController* const current = controller;
    float rate = static_cast<float>(kDefaultSampleRate);
    if (current != nullptr) current->GetSampleRate(&rate);
    controllerRate.store(rate, std::memory_order_relaxed);
    rateController.store(current, std::memory_order_release);
    return rate;
}

float VstCallBack::TimeRequestSampleRate() {
    if (rateController.load(std::memory_order_acquire) == controller) {
        return controllerRate.load(std::memory_order_relaxed);
    }
    return CurrentSampleRate();
}

intptr_t VstCallBack::AnswerSampleRateRequest(vst2::AEffect* effect) {
    // An effect that asks for the rate again while it is being sent the rate gets no second send.
    if (tSendingRateFrom == this) return 0;
    const VstCallBack* const outer = tSendingRateFrom;
    tSendingRateFrom = this;
    VstInterface::DispatchUngated(effect, vst2::effSetSampleRate, 0, 0, nullptr, CurrentSampleRate());
    tSendingRateFrom = outer;
    return 0;
}

intptr_t VstCallBack::AnswerTimeRequest(vst2::AEffect* effect, float opt) {
    std::memset(&timeInfo, 0, sizeof timeInfo);
    timeInfo.sampleRate = static_cast<double>(TimeRequestSampleRate());
    if (tempoValid != 0) {
        timeInfo.flags = vst2::kVstTempoValid;
        timeInfo.tempo = tempo;
    }
    if (isPlaying != 0) timeInfo.flags |= vst2::kVstTransportPlaying;
    const bool stopEdge = isPlaying == 0 && wasPlaying == 1;
    wasPlaying = isPlaying;
    if (timeSigValid != 0) {
        timeInfo.flags |= vst2::kVstTimeSigValid;
        timeInfo.timeSigNumerator = timeSigNumerator;
        timeInfo.timeSigDenominator = timeSigDenominator;
    }
    if (isPlaying != 0 && positionValid != 0) {
        timeInfo.flags |= vst2::kVstPpqPosValid;
        timeInfo.ppqPos = ppqPosition;
        timeInfo.samplePos = static_cast<double>(samplePosition);
    }
    if (stopEdge) {
        vst2::VstMidiEvent event{};
        event.type = vst2::kVstMidiType;
        event.byteSize = VstInterface::kEventByteSize;
        std::memcpy(event.midiData, kAllNotesOff, sizeof kAllNotesOff);
        std::memcpy(stopEvent.get(), &event, sizeof event);
        vst2::VstEvents list{};
        list.numEvents = 1;
        list.reserved = 0;
        list.events[0] = reinterpret_cast<vst2::VstEvent*>(stopEvent.get());
        VstInterface::DispatchUngated(effect, vst2::effProcessEvents, 0, 0, &list, opt);
    }
    return reinterpret_cast<intptr_t>(&timeInfo);
}

void VstCallBack::RequestParameterId(vst2::AEffect* effect, int32_t index, float opt, char* buffer) {
    std::memset(buffer, 0, kParamIdBufferSize);
    VstInterface::DispatchUngated(effect, vst2::effPrivateGetParameterId, index, 0, buffer, opt);
    // An effect that fills the whole buffer still leaves terminated text.
    buffer[kParamIdBufferSize - 1] = '\0';
}

intptr_t VstCallBack::HandleParameterGesture(vst2::AEffect* effect, int32_t opcode, int32_t index, float opt) {
    // The effect echoing the value it is being handed: the host already has it.
    if (tDeliveringTo == this && tDeliveredIndex == index) return 0;
    char id[kParamIdBufferSize];
    RequestParameterId(effect, index, opt, id);
    // No identifier written means no parameter. The empty identifier belongs to the master
    // bypass, which is not a parameter of the effect, so it must not be matched here.
    if (parameterManager == nullptr || id[0] == '\0') return 0;
    AAX_IParameter* parameter = parameterManager->GetParameterByID(id);
    if (parameter == nullptr) return 0;
    switch (opcode) {
        case vst2::audioMasterAutomate:
            // The effect's own value is the mirrored parameter's normalized value.
            parameter->SetNormalizedValue(static_cast<double>(opt));
            break;
        case vst2::audioMasterBeginEdit:
            parameter->Touch();
            break;
        case vst2::audioMasterEndEdit:
            parameter->Release();
            break;
        default:
            break;
    }
    return 0;
}

intptr_t VstCallBack::HandleDisplayUpdate(vst2::AEffect* effect, float opt) {
    if (effect == nullptr) return 0;
    const int32_t count = VstInterface::BoundedParameterCount(effect->numParams);
    char id[kParamIdBufferSize];
    for (int32_t i = 0; i < count; ++i) {
        RequestParameterId(effect, i, opt, id);
        if (editorGui != nullptr) editorGui->ParameterUpdated(id);
    }
    return 0;
}
