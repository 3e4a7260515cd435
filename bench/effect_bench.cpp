// Cost of the VantreloDelay effect per sample, at the block lengths hosts commonly use. The
// effect is loaded from the built library and driven through VST 2 exactly as the module does.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "interfaces/vst2.h"
#include "platform/platform.h"

#if defined(AAXW_EFFECT_LIBRARY_PATH)

namespace {

intptr_t AnswerNothing(vst2::AEffect*, int32_t, int32_t, intptr_t, void*, float) { return 0; }

vst2::AEffect* CreateEffect() {
    static platform::LibraryHandle library = platform::LoadLibraryFile(AAXW_EFFECT_LIBRARY_PATH);
    if (library == nullptr) return nullptr;
    auto entry = reinterpret_cast<vst2::MainProc>(platform::LookupSymbol(library, "main"));
    return entry != nullptr ? entry(&AnswerNothing) : nullptr;
}

// Arguments: block length in frames, tone (1 leaves the feedback path unfiltered), ping-pong.
void BM_VantreloDelayProcess(benchmark::State& state) {
    vst2::AEffect* effect = CreateEffect();
    if (effect == nullptr) {
        state.SkipWithError("VantreloDelay could not be loaded");
        return;
    }
    const auto frames = static_cast<int32_t>(state.range(0));
    effect->dispatcher(effect, vst2::effSetSampleRate, 0, 0, nullptr, 48000.0f);
    effect->dispatcher(effect, vst2::effSetBlockSize, 0, frames, nullptr, 0.0f);
    effect->dispatcher(effect, vst2::effOpen, 0, 0, nullptr, 0.0f);
    effect->setParameter(effect, 1, 0.7f);  // feedback
    effect->setParameter(effect, 6, state.range(1) != 0 ? 1.0f : 0.6f);
    effect->setParameter(effect, 5, static_cast<float>(state.range(2)));
    effect->dispatcher(effect, vst2::effMainsChanged, 0, 1, nullptr, 0.0f);

    std::vector<float> left(static_cast<size_t>(frames)), right(left.size()), outLeft(left.size()),
        outRight(left.size());
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = 0.5f * std::sin(0.01f * static_cast<float>(i));
        right[i] = 0.5f * std::cos(0.013f * static_cast<float>(i));
    }
    float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    for (auto _ : state) {
        effect->processReplacing(effect, inputs, outputs, frames);
        benchmark::DoNotOptimize(outLeft.data());
        benchmark::ClobberMemory();
    }
    const auto samples = static_cast<double>(frames);
    state.SetItemsProcessed(state.iterations() * frames);
    // Seconds per stereo sample frame (shown in ns by the reporter's unit scaling).
    state.counters["time_per_sample"] =
        benchmark::Counter(samples, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    effect->dispatcher(effect, vst2::effClose, 0, 0, nullptr, 0.0f);
}

BENCHMARK(BM_VantreloDelayProcess)
    ->ArgNames({"frames", "unfiltered", "pingpong"})
    ->Args({64, 1, 0})
    ->Args({512, 1, 0})
    ->Args({64, 0, 1})
    ->Args({512, 0, 1});

}  // namespace

#endif  // AAXW_EFFECT_LIBRARY_PATH
