#include "vsthost/VstCallBack.h"

#include <cstring>

#include "params/AAX_CParameterManager.h"
#include "vsthost/VstInterface.h"

namespace {

// Controller 123 (all notes off) on MIDI channel 1, value 0.
constexpr char kAllNotesOff[4] = {static_cast<char>(0xB0), 0x7B, 0x00, 0x00};

}  // namespace

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
      paramIdBuffer{},
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
            if (effect == nullptr || effect->user == nullptr) return 0;
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
    rateController = nullptr;
    controllerRate = static_cast<float>(kDefaultSampleRate);
}

float VstCallBack::CurrentSampleRate() {
    // A controller that does not answer leaves the default in place.
    float rate = static_cast<float>(kDefaultSampleRate);
    if (controller != nullptr) controller->GetSampleRate(&rate);
    rateController = controller;
    controllerRate = rate;
    return rate;
}

float VstCallBack::TimeRequestSampleRate() {
    return controller == rateController ? controllerRate : CurrentSampleRate();
}

intptr_t VstCallBack::AnswerSampleRateRequest(vst2::AEffect* effect) {
    VstInterface::DispatchUngated(effect, vst2::effSetSampleRate, 0, 0, nullptr, CurrentSampleRate());
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

void VstCallBack::RequestParameterId(vst2::AEffect* effect, int32_t index, float opt) {
    std::memset(paramIdBuffer, 0, sizeof paramIdBuffer);
    VstInterface::DispatchUngated(effect, vst2::effPrivateGetParameterId, index, 0, paramIdBuffer, opt);
    // An effect that fills the whole buffer still leaves terminated text.
    paramIdBuffer[sizeof paramIdBuffer - 1] = '\0';
}

intptr_t VstCallBack::HandleParameterGesture(vst2::AEffect* effect, int32_t opcode, int32_t index, float opt) {
    RequestParameterId(effect, index, opt);
    // No identifier written means no parameter. The empty identifier belongs to the master
    // bypass, which is not a parameter of the effect, so it must not be matched here.
    if (parameterManager == nullptr || paramIdBuffer[0] == '\0') return 0;
    AAX_IParameter* parameter = parameterManager->GetParameterByID(paramIdBuffer);
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
    const int32_t count = effect->numParams;
    for (int32_t i = 0; i < count; ++i) {
        RequestParameterId(effect, i, opt);
        if (editorGui != nullptr) editorGui->ParameterUpdated(paramIdBuffer);
    }
    return 0;
}
