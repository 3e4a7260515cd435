#include "support/ConcurrentEffect.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace testsupport {
namespace {

ConcurrentEffect& Self(vst2::AEffect* effect) { return *static_cast<ConcurrentEffect*>(effect->object); }

// Whether the calling thread is inside this module's processReplacing.
thread_local bool insideProcess = false;

intptr_t DispatchEntry(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float) {
    return Self(effect).Dispatch(opcode, index, value, ptr);
}

void SetParameterEntry(vst2::AEffect* effect, int32_t index, float value) { Self(effect).SetParameter(index, value); }

float GetParameterEntry(vst2::AEffect* effect, int32_t index) { return Self(effect).GetParameter(index); }

void ProcessEntry(vst2::AEffect* effect, float** inputs, float** outputs, int32_t frames) {
    Self(effect).Process(inputs, outputs, frames);
}

bool IsParameter(int32_t index) { return index >= 0 && index < ConcurrentEffect::kParameters; }

}  // namespace

ConcurrentEffect::ConcurrentEffect() {
    effect_.magic = vst2::kEffectMagic;
    effect_.dispatcher = &DispatchEntry;
    effect_.setParameter = &SetParameterEntry;
    effect_.getParameter = &GetParameterEntry;
    effect_.processReplacing = &ProcessEntry;
    effect_.numParams = kParameters;
    effect_.numInputs = 2;
    effect_.numOutputs = 2;
    effect_.uniqueID = 0x436E4566;  // 'CnEf'
    effect_.object = this;
}

ConcurrentEffect::~ConcurrentEffect() { StopOwnThread(); }

vst2::AEffect* ConcurrentEffect::AttachHost(vst2::AudioMasterCallback hostCallback) {
    host_ = hostCallback;
    Enter(Entry::kMain);
    return &effect_;
}

intptr_t ConcurrentEffect::CallHost(int32_t opcode, int32_t index, float opt) {
    const vst2::AudioMasterCallback host = host_;
    return host != nullptr ? host(&effect_, opcode, index, 0, nullptr, opt) : 0;
}

bool ConcurrentEffect::ConfigureFromText(const char* text) {
    if (text == nullptr) return false;
    if (std::strcmp(text, "thread") == 0) {
        RunOwnThreadWhileOpen();
        return true;
    }
    if (std::strcmp(text, "channels") == 0) {
        ChangeChannelsWhileProcessing();
        return true;
    }
    constexpr const char kThrow[] = "throw:";
    if (std::strncmp(text, kThrow, sizeof kThrow - 1) != 0) return false;
    const char* entry = text + sizeof kThrow - 1;
    if (std::strcmp(entry, "main") == 0) {
        ThrowFrom(Entry::kMain);
    } else if (std::strcmp(entry, "processReplacing") == 0) {
        ThrowFrom(Entry::kProcessReplacing);
    } else if (std::strcmp(entry, "setParameter") == 0) {
        ThrowFrom(Entry::kSetParameter);
    } else if (std::strcmp(entry, "getParameter") == 0) {
        ThrowFrom(Entry::kGetParameter);
    } else {
        char* end = nullptr;
        const long opcode = std::strtol(entry, &end, 10);
        if (end == entry || *end != '\0') return false;
        ThrowFrom(Entry::kDispatcher, static_cast<int32_t>(opcode));
    }
    return true;
}

void ConcurrentEffect::Enter(Entry entry, int32_t opcode) {
    const bool closing = entry == Entry::kDispatcher && opcode == vst2::effClose;
    if (throws.load() > 0 && !closing) ++callsAfterThrow;
    if (throwFrom_.load() != entry || (entry == Entry::kDispatcher && throwOpcode_.load() != opcode)) return;
    ++throws;
    throw std::runtime_error("the test effect throws here on purpose");
}

intptr_t ConcurrentEffect::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr) {
    if (opcode == vst2::effClose) {
        // Its own thread is stopped even when closing throws: the host frees what it reaches.
        StopOwnThread();
        ++closeCalls;
        Enter(Entry::kDispatcher, opcode);
        if (deleteOnClose_) delete this;
        return 0;
    }
    Enter(Entry::kDispatcher, opcode);
    const auto* id = static_cast<const char*>(ptr);
    switch (opcode) {
        case vst2::effOpen:
            if (runOwnThread_) StartOwnThread();
            return 0;
        case vst2::effPrivateGetParameterId:
            if (ptr != nullptr && IsParameter(index)) {
                std::snprintf(static_cast<char*>(ptr), value > 0 ? static_cast<size_t>(value) : 32, "P%d", index);
            }
            return 0;
        case vst2::effGetParamName:
            if (ptr != nullptr && IsParameter(index)) std::snprintf(static_cast<char*>(ptr), 32, "Param %d", index);
            return 0;
        case vst2::effGetChunk:
            for (int32_t i = 0; i < kParameters; ++i) chunk_[i] = values_[i];
            if (ptr != nullptr) *static_cast<void**>(ptr) = chunk_;
            return static_cast<intptr_t>(sizeof chunk_);
        case vst2::effSetChunk:
            if (ptr != nullptr && value == static_cast<intptr_t>(sizeof chunk_)) {
                float restored[kParameters];
                std::memcpy(restored, ptr, sizeof restored);
                for (int32_t i = 0; i < kParameters; ++i) values_[i] = restored[i];
            }
            return 0;
        case vst2::effPrivateFindParameterIndex:
            return id != nullptr && id[0] == 'P' ? std::atoi(id + 1) : -1;
        case vst2::effCanBeAutomated:
            return 1;
        case vst2::effSetSampleRate:
            ++sampleRatesReceived;
            return 0;
        case vst2::effProcessEvents:
            ++(insideProcess ? eventsWhileProcessing : eventsElsewhere);
            return 0;
        default:
            return 0;
    }
}

void ConcurrentEffect::SetParameter(int32_t index, float value) {
    Enter(Entry::kSetParameter);
    ++setParameterCalls;
    if (IsParameter(index)) values_[index] = value;
}

float ConcurrentEffect::GetParameter(int32_t index) {
    Enter(Entry::kGetParameter);
    return IsParameter(index) ? values_[index].load() : 0.0f;
}

void ConcurrentEffect::Process(float** inputs, float** outputs, int32_t frames) {
    Enter(Entry::kProcessReplacing);
    insideProcess = true;
    for (int channel = 0; channel < 2 && frames > 0 && inputs != nullptr && outputs != nullptr; ++channel) {
        if (inputs[channel] != nullptr && outputs[channel] != nullptr) {
            std::memmove(outputs[channel], inputs[channel], static_cast<size_t>(frames) * sizeof(float));
        }
    }
    for (int channel = 2; channel < effect_.numOutputs && frames > 0 && outputs != nullptr; ++channel) {
        std::memset(outputs[channel], 0, static_cast<size_t>(frames) * sizeof(float));
    }
    const int64_t block = processCalls++;
    if (changeChannels_ && block % 4 == 3) {
        effect_.numInputs = effect_.numOutputs = effect_.numOutputs == 2 ? 4 : 2;
        ++channelChanges;
        CallHost(vst2::audioMasterIOChanged);
    }
    const intptr_t time = CallHost(vst2::audioMasterGetTime);
    vst2::VstTimeInfo seen{};
    if (time != 0) {
        seen = *reinterpret_cast<const vst2::VstTimeInfo*>(time);
        lastTimeSampleRate = seen.sampleRate;
    }
    // A value no host sets in the tests and none it reported in its last 999 blocks: each report
    // is news to the host.
    CallHost(vst2::audioMasterAutomate, static_cast<int32_t>(block % kParameters),
             static_cast<float>(block % 1000) / 1000.0f + 0.0005f);
    if (time != 0 && std::memcmp(&seen, reinterpret_cast<const void*>(time), sizeof seen) != 0) {
        ++timeRecordChangedWhileProcessing;
    }
    insideProcess = false;
}

void ConcurrentEffect::StartOwnThread() {
    const std::lock_guard<std::mutex> lock(threadMutex_);
    if (ownThread_.joinable()) return;  // opened again without a close
    stopOwnThread_ = false;
    ownThread_ = std::thread([this] { OwnThreadRounds(); });
}

void ConcurrentEffect::StopOwnThread() {
    const std::lock_guard<std::mutex> lock(threadMutex_);
    if (!ownThread_.joinable()) return;
    stopOwnThread_ = true;
    ownThread_.join();
}

void ConcurrentEffect::OwnThreadRounds() {
    for (int64_t round = 0; !stopOwnThread_; ++round) {
        const auto index = static_cast<int32_t>(round % kParameters);
        CallHost(vst2::audioMasterBeginEdit, index);
        CallHost(vst2::audioMasterAutomate, index, static_cast<float>(round % 10) / 10.0f);
        CallHost(vst2::audioMasterEndEdit, index);
        if (const intptr_t time = CallHost(vst2::audioMasterGetTime)) {
            // Read as an effect reads it: the record stays valid until this thread asks again.
            volatile double seen = reinterpret_cast<const vst2::VstTimeInfo*>(time)->sampleRate;
            (void)seen;
        }
        CallHost(vst2::audioMasterGetSampleRate);
        CallHost(vst2::audioMasterUpdateDisplay);
        ++ownThreadRounds;
        std::this_thread::yield();
    }
}

}  // namespace testsupport
