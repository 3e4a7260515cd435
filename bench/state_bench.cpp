// Saving and restoring state, on the host's main thread.
//
//   BM_ChunkDirect / BM_ChunkWrapped  one save and one restore of the delay's own chunk: effGetChunk
//                                     with a copy and effSetChunk, against the host's sequence
//                                     through the data model (GetChunkSize, GetChunk, SetChunk),
//                                     which asks the effect for its chunk twice.
//   BM_ControlsChunkBuild             the data model base's controls-state chunk with 10 or 1000
//                                     parameters: GetChunkSize and GetChunk.
//   BM_ControlsChunkLoad              the same chunk given back: SetChunk.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "BenchSupport.h"
#include "effect/AAX_CChunkDataParser.h"
#include "effect/AAX_CEffectParameters.h"
#include "params/AAX_CLinearTaperDelegate.h"
#include "params/AAX_CNumberDisplayDelegate.h"
#include "params/AAX_CParameter.h"
#include "wrapper/AAXWrapper_Parameters.h"

namespace {

using bench::AllocationCount;
using bench::EffectKind;

void ReportAllocations(benchmark::State& state, uint64_t allocationsBefore) {
    const auto allocations = static_cast<double>(AllocationCount() - allocationsBefore);
    state.counters["allocs"] = benchmark::Counter(allocations, benchmark::Counter::kAvgIterations);
}

// A host-side chunk record with room for dataBytes of data, suitably aligned.
class ChunkRecord {
public:
    explicit ChunkRecord(size_t dataBytes)
        : mStorage((offsetof(AAX_SPlugInChunk, fData) + dataBytes + sizeof(uint64_t)) / sizeof(uint64_t) + 1) {}
    AAX_SPlugInChunk* Get() { return reinterpret_cast<AAX_SPlugInChunk*>(mStorage.data()); }

private:
    std::vector<uint64_t> mStorage;
};

// Enough for the delay's chunk, which is a few dozen bytes.
constexpr size_t kEffectChunkCapacity = 4096;

void BM_ChunkDirect(benchmark::State& state) {
    const auto& pool = bench::DirectPool::Get(EffectKind::Delay, 1);
    if (pool.empty()) {
        state.SkipWithError("effect unavailable");
        return;
    }
    vst2::AEffect* effect = pool[0]->Effect();
    ChunkRecord record(kEffectChunkCapacity);
    AAX_SPlugInChunk* chunk = record.Get();
    const uint64_t allocationsBefore = AllocationCount();
    for (auto _ : state) {
        void* data = nullptr;
        const intptr_t size = effect->dispatcher(effect, vst2::effGetChunk, 0, 0, &data, 0.0f);
        if (size < 0 || static_cast<size_t>(size) > kEffectChunkCapacity || data == nullptr) {
            state.SkipWithError("the effect's chunk does not fit");
            break;
        }
        chunk->fSize = static_cast<int32_t>(size);
        std::memcpy(chunk->fData, data, static_cast<size_t>(size));
        effect->dispatcher(effect, vst2::effSetChunk, 0, chunk->fSize, chunk->fData, 0.0f);
        benchmark::ClobberMemory();
    }
    ReportAllocations(state, allocationsBefore);
}

void BM_ChunkWrapped(benchmark::State& state) {
    auto& pool = bench::WrappedPool::Get(EffectKind::Delay, 1);
    if (pool.empty()) {
        state.SkipWithError("effect unavailable");
        return;
    }
    AAXWrapper_Parameters& model = pool[0]->Model();
    AAX_CTypeID id = 0;
    model.GetChunkIDFromIndex(0, &id);
    ChunkRecord record(kEffectChunkCapacity);
    AAX_SPlugInChunk* chunk = record.Get();
    const uint64_t allocationsBefore = AllocationCount();
    for (auto _ : state) {
        uint32_t size = 0;
        if (model.GetChunkSize(id, &size) != AAX_SUCCESS || size > kEffectChunkCapacity ||
            model.GetChunk(id, chunk) != AAX_SUCCESS || model.SetChunk(id, chunk) != AAX_SUCCESS) {
            state.SkipWithError("a chunk call failed");
            break;
        }
        benchmark::ClobberMemory();
    }
    ReportAllocations(state, allocationsBefore);
}

BENCHMARK(BM_ChunkDirect);
BENCHMARK(BM_ChunkWrapped);

// A data model with nothing but count float parameters, created in EffectInit as a plug-in
// does, with distinct values.
class ControlsModel final : public AAX_CEffectParameters {
public:
    explicit ControlsModel(int32_t count) : mCount(count) {}

    AAX_Result EffectInit() override {
        for (int32_t i = 0; i < mCount; ++i) {
            const std::string id = "param_" + std::to_string(1000000 + i).substr(1);
            auto* parameter = new AAX_CParameter<float>(id.c_str(), AAX_CString("Parameter"), 0.0f,
                                                        AAX_CLinearTaperDelegate<float, 0>(0.0f, 1.0f),
                                                        AAX_CNumberDisplayDelegate<float, 2, 0>(), true);
            parameter->SetNormalizedValue(static_cast<double>(i) / static_cast<double>(mCount));
            if (!mParameterManager.AddParameter(parameter)) delete parameter;
        }
        return AAX_SUCCESS;
    }

private:
    int32_t mCount;
};

// Holds one initialised ControlsModel for the duration of a benchmark.
class ControlsModelHolder {
public:
    explicit ControlsModelHolder(int32_t count) : mModel(new ControlsModel(count)) {
        mModel->AddRef();
        mModel->Initialize(&mHost);
    }
    ~ControlsModelHolder() {
        mModel->Uninitialize();
        mModel->Release();
    }
    ControlsModelHolder(const ControlsModelHolder&) = delete;
    ControlsModelHolder& operator=(const ControlsModelHolder&) = delete;

    ControlsModel& Model() { return *mModel; }

private:
    // The host's own controller: only a controller is offered, so values are taken at once.
    aaxhost::InstanceSettings mSettings;
    aaxhost::PacketStore mPackets;
    aaxhost::HostController mHost{mSettings, "bench", mPackets};
    ControlsModel* mModel;
};

void BM_ControlsChunkBuild(benchmark::State& state) {
    ControlsModelHolder holder(static_cast<int32_t>(state.range(0)));
    ControlsModel& model = holder.Model();
    uint32_t size = 0;
    model.GetChunkSize(AAX_ChunkID_ControlsState, &size);
    ChunkRecord record(size);
    AAX_SPlugInChunk* chunk = record.Get();
    const uint64_t allocationsBefore = AllocationCount();
    for (auto _ : state) {
        if (model.GetChunkSize(AAX_ChunkID_ControlsState, &size) != AAX_SUCCESS ||
            model.GetChunk(AAX_ChunkID_ControlsState, chunk) != AAX_SUCCESS) {
            state.SkipWithError("building the controls-state chunk failed");
            break;
        }
        benchmark::ClobberMemory();
    }
    ReportAllocations(state, allocationsBefore);
    state.counters["bytes"] = static_cast<double>(size);
}

void BM_ControlsChunkLoad(benchmark::State& state) {
    ControlsModelHolder holder(static_cast<int32_t>(state.range(0)));
    ControlsModel& model = holder.Model();
    uint32_t size = 0;
    model.GetChunkSize(AAX_ChunkID_ControlsState, &size);
    ChunkRecord record(size);
    AAX_SPlugInChunk* chunk = record.Get();
    if (model.GetChunk(AAX_ChunkID_ControlsState, chunk) != AAX_SUCCESS) {
        state.SkipWithError("building the controls-state chunk failed");
        return;
    }
    const uint64_t allocationsBefore = AllocationCount();
    for (auto _ : state) {
        if (model.SetChunk(AAX_ChunkID_ControlsState, chunk) != AAX_SUCCESS) {
            state.SkipWithError("loading the controls-state chunk failed");
            break;
        }
        benchmark::ClobberMemory();
    }
    ReportAllocations(state, allocationsBefore);
    bool equal = false;
    model.CompareActiveChunk(chunk, &equal);
    if (!equal) state.SkipWithError("the loaded chunk does not match the parameters");
}

BENCHMARK(BM_ControlsChunkBuild)->ArgName("params")->Arg(10)->Arg(1000);
BENCHMARK(BM_ControlsChunkLoad)->ArgName("params")->Arg(10)->Arg(1000);

}  // namespace
