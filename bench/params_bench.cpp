// Parameter values on their way from the host to the effect, and the lookup by identifier that
// every host call about a parameter starts with. These run on the host's main thread, not the
// real-time one, so the interest is their absolute cost and how it scales.
//
//   BM_ParamDirect / BM_ParamWrapped  one value for the delay's feedback: setParameter at the
//                                     known index, against UpdateParameterNormalizedValue with
//                                     the identifier (lookup, store, master-bypass check, the
//                                     effect's identifier-to-index request, setParameter).
//   BM_ParamLookup                    AAX_CParameterManager::GetParameterByID over 10 or 1000
//                                     parameters, every identifier in turn.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "BenchSupport.h"
#include "params/AAX_CLinearTaperDelegate.h"
#include "params/AAX_CNumberDisplayDelegate.h"
#include "params/AAX_CParameter.h"
#include "params/AAX_CParameterManager.h"
#include "wrapper/AAXWrapper_Parameters.h"

namespace {

using bench::AllocationCount;
using bench::EffectKind;

// The delay's feedback parameter: its VST index and its identifier.
constexpr int32_t kFeedbackIndex = 1;
constexpr const char* kFeedbackID = "feedback";
constexpr float kFeedbackDefault = 0.4f;

void ReportAllocations(benchmark::State& state, uint64_t allocationsBefore) {
    const auto allocations = static_cast<double>(AllocationCount() - allocationsBefore);
    state.counters["allocs"] = benchmark::Counter(allocations, benchmark::Counter::kAvgIterations);
}

void BM_ParamDirect(benchmark::State& state) {
    const auto& pool = bench::DirectPool::Get(EffectKind::Delay, 1);
    if (pool.empty()) {
        state.SkipWithError("effect unavailable");
        return;
    }
    vst2::AEffect* effect = pool[0]->Effect();
    float value = 0.3f;
    const uint64_t allocationsBefore = AllocationCount();
    for (auto _ : state) {
        effect->setParameter(effect, kFeedbackIndex, value);
        value = 0.9f - value;
        benchmark::ClobberMemory();
    }
    ReportAllocations(state, allocationsBefore);
    effect->setParameter(effect, kFeedbackIndex, kFeedbackDefault);
}

void BM_ParamWrapped(benchmark::State& state) {
    auto& pool = bench::WrappedPool::Get(EffectKind::Delay, 1);
    if (pool.empty()) {
        state.SkipWithError("effect unavailable");
        return;
    }
    AAXWrapper_Parameters& model = pool[0]->Model();
    double value = 0.3;
    if (model.UpdateParameterNormalizedValue(kFeedbackID, value, AAX_eUpdateSource_Unspecified) != AAX_SUCCESS) {
        state.SkipWithError("the data model has no feedback parameter");
        return;
    }
    const uint64_t allocationsBefore = AllocationCount();
    for (auto _ : state) {
        benchmark::DoNotOptimize(model.UpdateParameterNormalizedValue(kFeedbackID, value, AAX_eUpdateSource_Unspecified));
        value = 0.9 - value;
        benchmark::ClobberMemory();
    }
    ReportAllocations(state, allocationsBefore);
    model.UpdateParameterNormalizedValue(kFeedbackID, kFeedbackDefault, AAX_eUpdateSource_Unspecified);
}

BENCHMARK(BM_ParamDirect);
BENCHMARK(BM_ParamWrapped);

// Identifiers as an effect might name them: a common prefix, so comparisons read past it.
std::string ParameterID(int64_t index) {
    char text[32];
    std::snprintf(text, sizeof text, "param_%04lld", static_cast<long long>(index));
    return text;
}

void BM_ParamLookup(benchmark::State& state) {
    const int64_t count = state.range(0);
    AAX_CParameterManager manager;
    std::vector<std::string> ids;
    for (int64_t i = 0; i < count; ++i) {
        ids.push_back(ParameterID(i));
        manager.AddParameter(new AAX_CParameter<float>(ids.back().c_str(), AAX_CString("Parameter"), 0.5f,
                                                       AAX_CLinearTaperDelegate<float, 0>(0.0f, 1.0f),
                                                       AAX_CNumberDisplayDelegate<float, 2, 0>(), true));
    }
    // The order of the lookups is shuffled by a fixed stride so that neighbours in the tree are
    // not always hit one after another.
    std::vector<const char*> order;
    for (int64_t i = 0; i < count; ++i) order.push_back(ids[static_cast<size_t>((i * 7919) % count)].c_str());

    size_t next = 0;
    int64_t misses = 0;
    const uint64_t allocationsBefore = AllocationCount();
    for (auto _ : state) {
        AAX_IParameter* found = manager.GetParameterByID(order[next]);
        benchmark::DoNotOptimize(found);
        misses += found == nullptr ? 1 : 0;
        next = next + 1 == order.size() ? 0 : next + 1;
    }
    ReportAllocations(state, allocationsBefore);
    if (misses != 0) state.SkipWithError("a parameter was not found by its identifier");
}

BENCHMARK(BM_ParamLookup)->ArgName("params")->Arg(10)->Arg(1000);

}  // namespace
