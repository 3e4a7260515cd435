#include "RenderInstance.h"

#include <algorithm>

#include "render/ProcessCallback.h"

namespace {

// Finds the instance whose effect is being called; the effect's own `object` and `user` fields
// already belong to the recording effect and the VstCallBack.
constexpr int kMaxInstances = 32;
RenderInstance* liveInstances[kMaxInstances] = {};

RenderInstance* FindInstance(vst2::AEffect* effect) {
    for (RenderInstance* instance : liveInstances) {
        if (instance != nullptr && instance->effect.effect() == effect) return instance;
    }
    return nullptr;
}

}  // namespace

RenderInstance::RenderInstance(int32_t channels) : inputChannels(channels), outputChannels(channels) {
    for (int channel = 0; channel < 2; ++channel) {
        hostInputs[channel] = inputData[channel];
        hostOutputs[channel] = outputData[channel];
        for (int frame = 0; frame < kFrames; ++frame) {
            inputData[channel][frame] = static_cast<float>(channel * 100 + frame + 1);
            outputData[channel][frame] = -1.0f;
        }
    }
    effect.ReserveRecords(256);
    effect.AttachHost(&VstCallBack::HostCallback);
    vst2::AEffect* aeffect = effect.effect();
    aeffect->user = &callBack;
    recordingProcess = aeffect->processReplacing;
    aeffect->processReplacing = &RenderInstance::ProbeProcess;
    vst.effect = aeffect;
    vst.callBack = &callBack;
    callBack.vstInterface = &vst;

    context.fields[kField_AudioIn] = hostInputs;
    context.fields[kField_InputChannels] = &inputChannels;
    context.fields[kField_AudioOut] = hostOutputs;
    context.fields[kField_OutputChannels] = &outputChannels;
    context.fields[kField_BufferLength] = &frames;
    context.fields[kField_VstInterface] = &vstPointer;
    context.fields[kField_Loaded] = &loaded;
    context.fields[kField_TransportNode] = transportNode.Binary();
    context.fields[kField_MidiInputNode] = midiInput.Binary();

    for (RenderInstance*& slot : liveInstances) {
        if (slot == nullptr) {
            slot = this;
            break;
        }
    }
}

RenderInstance::~RenderInstance() {
    for (RenderInstance*& slot : liveInstances) {
        if (slot == this) slot = nullptr;
    }
}

void RenderInstance::UseLongBuffers(int32_t length) {
    for (int channel = 0; channel < 2; ++channel) {
        longInputs[channel].resize(static_cast<size_t>(length));
        longOutputs[channel].assign(static_cast<size_t>(length), -1.0f);
        for (int32_t frame = 0; frame < length; ++frame) {
            longInputs[channel][static_cast<size_t>(frame)] = static_cast<float>(channel * 100000 + frame + 1);
        }
        hostInputs[channel] = longInputs[channel].data();
        hostOutputs[channel] = longOutputs[channel].data();
    }
    frames = length;
}

void RenderInstance::AskForTimeWhileProcessing() {
    HostRequest request;
    request.opcode = vst2::audioMasterGetTime;
    effect.OnProcess(request);
}

std::vector<vst2::VstTimeInfo> RenderInstance::TimesSeen() const {
    std::vector<vst2::VstTimeInfo> times;
    for (const HostReply& reply : effect.hostReplies) {
        if (reply.request.opcode == vst2::audioMasterGetTime && reply.hasTime) times.push_back(reply.time);
    }
    return times;
}

void RenderInstance::ProbeProcess(vst2::AEffect* effect, float** inputs, float** outputs, int32_t frames) {
    RenderInstance* instance = FindInstance(effect);
    if (instance == nullptr) return;
    ++instance->processCalls;
    for (int entry = 0; entry < std::min(effect->numInputs, kSeenEntries); ++entry) {
        instance->seenInputs[entry] = inputs[entry];
    }
    for (int entry = 0; entry < std::min(effect->numOutputs, kSeenEntries); ++entry) {
        instance->seenOutputs[entry] = outputs[entry];
    }
    instance->recordingProcess(effect, inputs, outputs, frames);
}

void RunBatch(std::vector<void*> contexts) {
    AAXWrapper_AlgorithmProcessFunction(contexts.data(), contexts.data() + contexts.size());
}
