// An in-process VST 2 effect that may be called from several threads at once, for the tests that
// run under ThreadSanitizer. Its parameters answer the identifiers "P0", "P1", ... and keep their
// values in atomics. In every processReplacing it reports automation of its next parameter (round
// robin) to its host, as an effect whose audio thread follows an envelope does, and it can ask for
// the time there too. Everything it keeps is atomic, so a race the sanitizer reports lies outside
// it.
#pragma once

#include <atomic>
#include <cstdint>

#include "interfaces/vst2.h"

namespace testsupport {

class ConcurrentEffect {
public:
    static constexpr int32_t kParameters = 4;

    ConcurrentEffect();
    ConcurrentEffect(const ConcurrentEffect&) = delete;
    ConcurrentEffect& operator=(const ConcurrentEffect&) = delete;

    vst2::AEffect* effect() { return &effect_; }
    // Connects the effect to a host callback, as an entry point does. Returns effect().
    vst2::AEffect* AttachHost(vst2::AudioMasterCallback hostCallback);
    // Calls the host from the calling thread; 0 when none is attached.
    intptr_t CallHost(int32_t opcode, int32_t index = 0, float opt = 0.0f);

    // What processReplacing does besides copying input to output.
    std::atomic<bool> automateWhileProcessing{true};
    std::atomic<bool> askForTimeWhileProcessing{false};

    float Value(int32_t index) const;
    int64_t SetParameterCalls() const { return setParameterCalls_.load(); }
    int64_t ProcessCalls() const { return processCalls_.load(); }
    int64_t AutomationsReported() const { return automations_.load(); }
    int64_t SampleRatesReceived() const { return sampleRates_.load(); }
    // The sample rate of the last time record a processReplacing read (0 before any).
    double LastTimeSampleRate() const { return lastTimeSampleRate_.load(); }

private:
    static intptr_t DispatcherEntry(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                    void* ptr, float opt);
    static void SetParameterEntry(vst2::AEffect* effect, int32_t index, float value);
    static float GetParameterEntry(vst2::AEffect* effect, int32_t index);
    static void ProcessReplacingEntry(vst2::AEffect* effect, float** inputs, float** outputs, int32_t frames);
    static ConcurrentEffect* From(vst2::AEffect* effect);

    vst2::AEffect effect_{};
    std::atomic<vst2::AudioMasterCallback> host_{nullptr};
    std::atomic<float> values_[kParameters];
    std::atomic<int64_t> setParameterCalls_{0};
    std::atomic<int64_t> processCalls_{0};
    std::atomic<int64_t> automations_{0};
    std::atomic<int64_t> sampleRates_{0};
    std::atomic<double> lastTimeSampleRate_{0.0};
};

}  // namespace testsupport

using testsupport::ConcurrentEffect;
