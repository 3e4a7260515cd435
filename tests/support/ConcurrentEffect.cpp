#include "support/ConcurrentEffect.h"

#include <cstdio>
#include <cstdlib>

namespace testsupport {
namespace {

ConcurrentEffect& Self(vst2::AEffect* effect) { return *static_cast<ConcurrentEffect*>(effect->object); }

intptr_t Dispatch(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float) {
    const auto* id = static_cast<const char*>(ptr);
    switch (opcode) {
        case vst2::effPrivateGetParameterId:
            if (ptr != nullptr && index >= 0 && index < ConcurrentEffect::kParameters) {
                std::snprintf(static_cast<char*>(ptr), value > 0 ? static_cast<size_t>(value) : 32, "P%d", index);
            }
            return 0;
        case vst2::effPrivateFindParameterIndex:
            return id != nullptr && id[0] == 'P' ? std::atoi(id + 1) : -1;
        case vst2::effCanBeAutomated:
            return 1;
        case vst2::effSetSampleRate:
            ++Self(effect).sampleRatesReceived;
            return 0;
        default:
            return 0;
    }
}

void SetParameter(vst2::AEffect* effect, int32_t, float) { ++Self(effect).setParameterCalls; }

float GetParameter(vst2::AEffect*, int32_t) { return 0.0f; }

void Process(vst2::AEffect* effect, float**, float**, int32_t) {
    ConcurrentEffect& self = Self(effect);
    const int64_t block = self.processCalls++;
    if (const intptr_t time = self.CallHost(vst2::audioMasterGetTime)) {
        self.lastTimeSampleRate = reinterpret_cast<const vst2::VstTimeInfo*>(time)->sampleRate;
    }
    self.CallHost(vst2::audioMasterAutomate, static_cast<int32_t>(block % ConcurrentEffect::kParameters),
                  static_cast<float>(block % 100) / 100.0f);
}

}  // namespace

ConcurrentEffect::ConcurrentEffect() {
    effect_.magic = vst2::kEffectMagic;
    effect_.dispatcher = &Dispatch;
    effect_.setParameter = &SetParameter;
    effect_.getParameter = &GetParameter;
    effect_.processReplacing = &Process;
    effect_.numParams = kParameters;
    effect_.numInputs = 2;
    effect_.numOutputs = 2;
    effect_.object = this;
}

vst2::AEffect* ConcurrentEffect::AttachHost(vst2::AudioMasterCallback hostCallback) {
    host_ = hostCallback;
    return &effect_;
}

intptr_t ConcurrentEffect::CallHost(int32_t opcode, int32_t index, float opt) {
    const vst2::AudioMasterCallback host = host_;
    return host != nullptr ? host(&effect_, opcode, index, 0, nullptr, opt) : 0;
}

}  // namespace testsupport
