#include "support/ConcurrentEffect.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace testsupport {

ConcurrentEffect::ConcurrentEffect() {
    effect_.magic = vst2::kEffectMagic;
    effect_.dispatcher = &DispatcherEntry;
    effect_.setParameter = &SetParameterEntry;
    effect_.getParameter = &GetParameterEntry;
    effect_.processReplacing = &ProcessReplacingEntry;
    effect_.numParams = kParameters;
    effect_.numInputs = 2;
    effect_.numOutputs = 2;
    effect_.flags = vst2::effFlagsCanReplacing;
    effect_.object = this;
    for (std::atomic<float>& value : values_) value.store(0.0f);
}

ConcurrentEffect* ConcurrentEffect::From(vst2::AEffect* effect) { return static_cast<ConcurrentEffect*>(effect->object); }

vst2::AEffect* ConcurrentEffect::AttachHost(vst2::AudioMasterCallback hostCallback) {
    host_.store(hostCallback);
    return &effect_;
}

intptr_t ConcurrentEffect::CallHost(int32_t opcode, int32_t index, float opt) {
    const vst2::AudioMasterCallback host = host_.load();
    return host != nullptr ? host(&effect_, opcode, index, 0, nullptr, opt) : 0;
}

float ConcurrentEffect::Value(int32_t index) const {
    return index >= 0 && index < kParameters ? values_[index].load() : 0.0f;
}

intptr_t ConcurrentEffect::DispatcherEntry(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                           void* ptr, float) {
    ConcurrentEffect* self = From(effect);
    switch (opcode) {
        case vst2::effPrivateGetParameterId:
            if (ptr != nullptr && index >= 0 && index < kParameters) {
                std::snprintf(static_cast<char*>(ptr), value > 0 ? static_cast<size_t>(value) : 32, "P%d", index);
            }
            return 0;
        case vst2::effPrivateFindParameterIndex: {
            const char* id = static_cast<const char*>(ptr);
            if (id == nullptr || id[0] != 'P') return -1;
            const int parsed = std::atoi(id + 1);
            return parsed >= 0 && parsed < kParameters ? parsed : -1;
        }
        case vst2::effCanBeAutomated:
            return 1;
        case vst2::effSetSampleRate:
            self->sampleRates_.fetch_add(1);
            return 0;
        default:
            return 0;
    }
}

void ConcurrentEffect::SetParameterEntry(vst2::AEffect* effect, int32_t index, float value) {
    ConcurrentEffect* self = From(effect);
    self->setParameterCalls_.fetch_add(1);
    if (index >= 0 && index < kParameters) self->values_[index].store(value);
}

float ConcurrentEffect::GetParameterEntry(vst2::AEffect* effect, int32_t index) { return From(effect)->Value(index); }

void ConcurrentEffect::ProcessReplacingEntry(vst2::AEffect* effect, float** inputs, float** outputs, int32_t frames) {
    ConcurrentEffect* self = From(effect);
    const int64_t block = self->processCalls_.fetch_add(1);
    for (int channel = 0; channel < 2; ++channel) {
        if (inputs[channel] == nullptr || outputs[channel] == nullptr) continue;
        std::memcpy(outputs[channel], inputs[channel], sizeof(float) * static_cast<size_t>(frames));
    }
    if (self->askForTimeWhileProcessing.load()) {
        const intptr_t answer = self->CallHost(vst2::audioMasterGetTime);
        if (answer != 0) {
            self->lastTimeSampleRate_.store(reinterpret_cast<const vst2::VstTimeInfo*>(answer)->sampleRate);
        }
    }
    if (self->automateWhileProcessing.load()) {
        const auto index = static_cast<int32_t>(block % kParameters);
        self->automations_.fetch_add(1);
        self->CallHost(vst2::audioMasterAutomate, index, static_cast<float>(block % 100) / 100.0f);
    }
}

}  // namespace testsupport
