// An in-process VST 2 effect that several threads may call at once, for the suites that also run
// under ThreadSanitizer: everything it keeps is atomic, so a race the sanitizer reports lies
// outside it. Its parameters answer the identifiers "P0" to "P3". Every processReplacing asks the
// host for the time and then reports automation of its next parameter (round robin), as an
// effect whose audio thread follows an envelope does.
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

    // Connects the effect to a host callback, as an entry point does, and returns it.
    vst2::AEffect* AttachHost(vst2::AudioMasterCallback hostCallback);
    // Calls the host from the calling thread; 0 when none is attached.
    intptr_t CallHost(int32_t opcode, int32_t index = 0, float opt = 0.0f);

    std::atomic<int64_t> setParameterCalls{0};
    std::atomic<int64_t> processCalls{0};  // one automation reported in each
    std::atomic<int64_t> sampleRatesReceived{0};
    std::atomic<double> lastTimeSampleRate{0.0};  // from the last time record processing read

private:
    vst2::AEffect effect_{};
    std::atomic<vst2::AudioMasterCallback> host_{nullptr};
};

}  // namespace testsupport

using testsupport::ConcurrentEffect;
