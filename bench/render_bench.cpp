// What the module adds on the real-time path. Each wrapped benchmark has a direct twin of the
// same name with "Wrapped" replaced by "Direct" and the same arguments; the report divides the
// one by the other.
//
//   BM_Direct / BM_Wrapped            the reference delay, stereo, transport playing: the effect's
//                                     processReplacing called directly, against the module's
//                                     processing callback over the same instances and buffers.
//   BM_NullDirect / BM_NullWrapped    the same with the null effect: what is left of a wrapped
//                                     run is the module's own cost per instance and buffer.
//   BM_NullTimeDirect / BM_NullTimeWrapped
//                                     the null effect asking for the time once per buffer, as
//                                     most effects do: adds the module's answer to a time request.
//   BM_NullHostAnswers                exactly the host calls the processing callback makes for
//                                     the null-effect batch (the transport node's transport, the
//                                     transport's answers, the MIDI input node's stream), and
//                                     nothing else: what the host's answers cost, so that the
//                                     report can take them out of the module's own cost.
//   BM_NullWrappedParams              one wrapped null-effect instance whose data model mirrors 0 or
//                                     1000 parameters: the callback's cost must not depend on it.
//   BM_MidiDirect / BM_MidiWrapped    one null-effect instance with 0, 1 or 64 MIDI packets per
//                                     buffer, each delivered as a one-event list as the module
//                                     does; the report takes the cost per packet from the
//                                     difference to 0 packets.
//
//   BM_Interleaved                    the delay pairs once more, measured in alternation inside one
//                                     benchmark: each iteration times a stretch of direct calls and
//                                     a stretch of wrapped calls over the same instances, in
//                                     alternating order, and the ratio is the median of the
//                                     per-iteration ratios. A burst of load from elsewhere then
//                                     hits both sides alike, which separate runs cannot promise
//                                     on a shared machine.
//
// Every benchmark reports "allocs", the global allocations per iteration (0 is required).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "BenchSupport.h"
#include "interfaces/aax_host.h"
#include "render/ProcessCallback.h"
#include "vsthost/VstCallBack.h"
#include "wrapper/AAXWrapper_Parameters.h"

namespace {

using bench::AllocationCount;
using bench::Buffers;
using bench::DirectPool;
using bench::EffectKind;
using bench::WrappedPool;

constexpr int64_t kFrameCounts[] = {16, 64, 512, 2048};
constexpr int32_t kMidiFrames = 64;

void ReportCounters(benchmark::State& state, int64_t instances, uint64_t allocationsBefore) {
    const auto allocations = static_cast<double>(AllocationCount() - allocationsBefore);
    state.counters["allocs"] = benchmark::Counter(allocations, benchmark::Counter::kAvgIterations);
    state.SetItemsProcessed(state.iterations() * instances);
}

bool SkipUnlessReady(benchmark::State& state, size_t available, int64_t wanted) {
    if (static_cast<int64_t>(available) >= wanted) return false;
    const std::string reason = std::string("effect unavailable: ") + bench::LastEffectLoadError();
    state.SkipWithError(reason.c_str());
    return true;
}

// Runs processReplacing on each of the first `instances` direct instances, on the buffers that
// the wrapped twin uses.
void RunDirect(benchmark::State& state, EffectKind kind) {
    const int64_t instances = state.range(0);
    const auto frames = static_cast<int32_t>(state.range(1));
    const auto& pool = DirectPool::Get(kind, static_cast<int32_t>(instances));
    if (SkipUnlessReady(state, pool.size(), instances)) return;
    WrappedPool::AlignWithDirect(kind, static_cast<int32_t>(instances));

    std::vector<vst2::AEffect*> effects;
    std::vector<Buffers*> buffers;
    for (int64_t i = 0; i < instances; ++i) {
        effects.push_back(pool[static_cast<size_t>(i)]->Effect());
        buffers.push_back(&Buffers::For(static_cast<int32_t>(i)));
    }
    const uint64_t allocationsBefore = AllocationCount();
    for (auto _ : state) {
        for (size_t i = 0; i < effects.size(); ++i) {
            vst2::AEffect* effect = effects[i];
            effect->processReplacing(effect, buffers[i]->inputs, buffers[i]->outputs, frames);
        }
        benchmark::ClobberMemory();
    }
    ReportCounters(state, instances, allocationsBefore);
    for (int64_t i = 0; i < instances; ++i) pool[static_cast<size_t>(i)]->framesProcessed += state.iterations() * frames;
}

// Runs the processing callback once per iteration over a batch of the first `instances`
// wrapped instances, with no MIDI.
void RunWrapped(benchmark::State& state, EffectKind kind) {
    const int64_t instances = state.range(0);
    const auto frames = static_cast<int32_t>(state.range(1));
    auto& pool = WrappedPool::Get(kind, static_cast<int32_t>(instances));
    if (SkipUnlessReady(state, pool.size(), instances)) return;
    WrappedPool::AlignWithDirect(kind, static_cast<int32_t>(instances));
    for (int64_t i = 0; i < instances; ++i) {
        pool[static_cast<size_t>(i)]->SetFrames(frames);
        pool[static_cast<size_t>(i)]->MidiInput().SetPackets(0, frames);
    }
    std::vector<void*> batch = WrappedPool::Batch(kind, static_cast<int32_t>(instances));
    void* const* first = batch.data();
    const void* last = batch.data() + batch.size();

    const uint64_t allocationsBefore = AllocationCount();
    for (auto _ : state) {
        AAXWrapper_AlgorithmProcessFunction(first, last);
        benchmark::ClobberMemory();
    }
    ReportCounters(state, instances, allocationsBefore);
    for (int64_t i = 0; i < instances; ++i) pool[static_cast<size_t>(i)]->framesProcessed += state.iterations() * frames;
}

void BM_Direct(benchmark::State& state) { RunDirect(state, EffectKind::Delay); }
void BM_Wrapped(benchmark::State& state) { RunWrapped(state, EffectKind::Delay); }
void BM_NullDirect(benchmark::State& state) { RunDirect(state, EffectKind::Null); }
void BM_NullWrapped(benchmark::State& state) { RunWrapped(state, EffectKind::Null); }

void DelayArguments(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"instances", "frames"});
    for (int64_t instances : {1, 64}) {
        for (int64_t frames : kFrameCounts) benchmark->Args({instances, frames});
    }
}

void NullArguments(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"instances", "frames"});
    benchmark->Args({1, 64});
    benchmark->Args({64, 64});
}

BENCHMARK(BM_Direct)->Apply(DelayArguments);
BENCHMARK(BM_Wrapped)->Apply(DelayArguments);
void BM_NullTimeDirect(benchmark::State& state) { RunDirect(state, EffectKind::NullAskingTime); }
void BM_NullTimeWrapped(benchmark::State& state) { RunWrapped(state, EffectKind::NullAskingTime); }

BENCHMARK(BM_NullDirect)->Apply(NullArguments);
BENCHMARK(BM_NullWrapped)->Apply(NullArguments);
BENCHMARK(BM_NullTimeDirect)->Apply(NullArguments);
BENCHMARK(BM_NullTimeWrapped)->Apply(NullArguments);

// The host objects one instance's processing calls: its transport node and MIDI input node.
struct HostNodes {
    AAX_IMIDINode* transportNode;
    AAX_IMIDINode* midiInput;
};

std::vector<HostNodes> NodesOf(const std::vector<void*>& batch) {
    std::vector<HostNodes> nodes;
    for (void* entry : batch) {
        const auto& context = *static_cast<const AlgorithmContext*>(entry);
        nodes.push_back({static_cast<AAX_IMIDINode*>(context.fields[kField_TransportNode]),
                         static_cast<AAX_IMIDINode*>(context.fields[kField_MidiInputNode])});
    }
    return nodes;
}

// The host calls the processing callback makes per instance and buffer while the transport
// plays, through the same interfaces: what a host's answers cost the callback, without the
// module's own work around them.
void AskHost(const std::vector<HostNodes>& nodes) {
    for (const HostNodes& instance : nodes) {
        const AAX_ITransport* transport = instance.transportNode->GetTransport();
        bool playing = false;
        int64_t location = 0;
        double tempo = 0.0;
        int32_t numerator = 0, denominator = 0, bars = 0, beats = 0;
        int64_t ticks = 0;
        transport->IsTransportPlaying(&playing);
        transport->GetCurrentNativeSampleLocation(&location);
        transport->GetCurrentTempo(&tempo);
        transport->GetCurrentMeter(&numerator, &denominator);
        transport->GetBarBeatPosition(&bars, &beats, &ticks, location);
        const AAX_CMidiStream* stream = instance.midiInput->GetNodeBuffer();
        benchmark::DoNotOptimize(stream);
    }
}

// The bench transport's answers, each query counted by its slot.
class CountingTransport final : public aaxhost::TransportSource {
public:
    mutable std::array<int32_t, aaxhost::kTransportSlots> calls{};

    int32_t Tempo(double* bpm) const override { return Count(1, answers_.Tempo(bpm)); }
    int32_t Meter(int32_t* n, int32_t* d) const override { return Count(2, answers_.Meter(n, d)); }
    int32_t Playing(bool* playing) const override { return Count(3, answers_.Playing(playing)); }
    int32_t TickPosition(int64_t* t) const override { return Count(4, answers_.TickPosition(t)); }
    int32_t LoopPosition(bool* l, int64_t* s, int64_t* e) const override {
        return Count(5, answers_.LoopPosition(l, s, e));
    }
    int32_t SampleLocation(int64_t* l) const override { return Count(6, answers_.SampleLocation(l)); }
    int32_t CustomTickPosition(int64_t* t, int64_t l) const override {
        return Count(7, answers_.CustomTickPosition(t, l));
    }
    int32_t BarBeatPosition(int32_t* b, int32_t* bt, int64_t* t, int64_t l) const override {
        return Count(8, answers_.BarBeatPosition(b, bt, t, l));
    }
    int32_t TicksPerQuarter(uint32_t* t) const override { return Count(9, answers_.TicksPerQuarter(t)); }
    int32_t TicksPerBeat(uint32_t* t) const override { return Count(10, answers_.TicksPerBeat(t)); }
    int32_t SelectionStart(int64_t* l) const override { return Count(11, answers_.SelectionStart(l)); }
    int32_t TimeCode(int32_t* r, int64_t* o) const override { return Count(12, answers_.TimeCode(r, o)); }
    int32_t FeetFrames(int32_t* r, int64_t* o) const override { return Count(13, answers_.FeetFrames(r, o)); }

private:
    int32_t Count(size_t slot, int32_t result) const {
        ++calls[slot];
        return result;
    }
    bench::BenchTransport answers_;
};

// Empty when AskHost makes, for one null-effect instance, the host calls that one buffer of the
// processing callback makes (counted per transport slot and per node slot); else what differs.
std::string CompareWithCallback() {
    CountingTransport counted;
    aaxhost::TransportObject transport(&counted);
    bench::WrappedInstance instance(bench::CreateNullEffect(&VstCallBack::HostCallback), Buffers::For(0), &transport);
    if (!instance.Ready()) return "the check instance is not ready";
    instance.SetFrames(64);
    std::vector<void*> batch = {instance.Context()};
    const std::vector<HostNodes> nodes = NodesOf(batch);
    auto* transportNode = static_cast<aaxhost::MidiNodeObject*>(static_cast<aaxhost::SlotObject*>(
        static_cast<void*>(nodes[0].transportNode)));
    auto* midiInput = static_cast<aaxhost::MidiNodeObject*>(static_cast<aaxhost::SlotObject*>(
        static_cast<void*>(nodes[0].midiInput)));
    auto snapshot = [&] {
        std::vector<int64_t> counts(counted.calls.begin(), counted.calls.end());
        counts.push_back(transportNode->transportRequests.load());
        counts.push_back(midiInput->bufferRequests.load());
        return counts;
    };
    const std::vector<int64_t> start = snapshot();
    AAXWrapper_AlgorithmProcessFunction(batch.data(), batch.data() + batch.size());
    std::vector<int64_t> byCallback = snapshot();
    AskHost(nodes);
    const std::vector<int64_t> end = snapshot();
    std::string differences;
    for (size_t i = 0; i < start.size(); ++i) {
        const int64_t callback = byCallback[i] - start[i];
        const int64_t asked = end[i] - byCallback[i];
        if (callback == asked) continue;
        const std::string what = i < aaxhost::kTransportSlots ? "transport slot " + std::to_string(i)
                                 : i == aaxhost::kTransportSlots ? "transport node's transport"
                                                                  : "MIDI input node's stream";
        differences += what + ": callback " + std::to_string(callback) + ", bench " + std::to_string(asked) + "; ";
    }
    return differences;
}

void BM_NullHostAnswers(benchmark::State& state) {
    const int64_t instances = state.range(0);
    static const std::string mismatch = CompareWithCallback();
    if (!mismatch.empty()) {
        state.SkipWithError(("not the callback's host calls: " + mismatch).c_str());
        return;
    }
    auto& pool = WrappedPool::Get(EffectKind::Null, static_cast<int32_t>(instances));
    if (SkipUnlessReady(state, pool.size(), instances)) return;
    const std::vector<HostNodes> nodes = NodesOf(WrappedPool::Batch(EffectKind::Null, static_cast<int32_t>(instances)));

    const uint64_t allocationsBefore = AllocationCount();
    for (auto _ : state) {
        AskHost(nodes);
        benchmark::ClobberMemory();
    }
    ReportCounters(state, instances, allocationsBefore);
}

BENCHMARK(BM_NullHostAnswers)->Apply(NullArguments);

void BM_NullWrappedParams(benchmark::State& state) {
    const bool many = state.range(0) != 0;
    auto& pool = WrappedPool::Get(many ? EffectKind::NullManyParameters : EffectKind::Null, 1);
    if (SkipUnlessReady(state, pool.size(), 1)) return;
    bench::WrappedInstance& instance = *pool[0];
    int32_t mirrored = 0;
    instance.Model().GetNumberOfParameters(&mirrored);
    // The master bypass plus one host parameter per effect parameter.
    if (mirrored != 1 + static_cast<int32_t>(state.range(0))) {
        state.SkipWithError("the data model did not mirror the effect's parameters");
        return;
    }
    instance.SetFrames(64);
    instance.MidiInput().SetPackets(0, 64);
    void* batch[1] = {instance.Context()};

    const uint64_t allocationsBefore = AllocationCount();
    for (auto _ : state) {
        AAXWrapper_AlgorithmProcessFunction(batch, batch + 1);
        benchmark::ClobberMemory();
    }
    ReportCounters(state, 1, allocationsBefore);
}

BENCHMARK(BM_NullWrappedParams)->ArgName("params")->Arg(0)->Arg(bench::kManyParameters);

// Calls of each side per timed stretch, so that a stretch lasts some tens of microseconds and
// the clock's own cost vanishes in it.
int32_t CallsPerStretch(int64_t instances, int64_t frames) {
    const int64_t work = instances * frames;
    return static_cast<int32_t>(std::max<int64_t>(1, 8192 / work));
}

double Median(std::vector<double>& values) {
    if (values.empty()) return 0.0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

void BM_Interleaved(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const int64_t instances = state.range(0);
    const auto frames = static_cast<int32_t>(state.range(1));
    const auto& direct = DirectPool::Get(EffectKind::Delay, static_cast<int32_t>(instances));
    auto& wrapped = WrappedPool::Get(EffectKind::Delay, static_cast<int32_t>(instances));
    if (SkipUnlessReady(state, std::min(direct.size(), wrapped.size()), instances)) return;
    // Both sides process the same frames from here on, so they stay aligned.
    WrappedPool::AlignWithDirect(EffectKind::Delay, static_cast<int32_t>(instances));

    std::vector<vst2::AEffect*> effects;
    std::vector<Buffers*> buffers;
    for (int64_t i = 0; i < instances; ++i) {
        effects.push_back(direct[static_cast<size_t>(i)]->Effect());
        buffers.push_back(&Buffers::For(static_cast<int32_t>(i)));
        wrapped[static_cast<size_t>(i)]->SetFrames(frames);
        wrapped[static_cast<size_t>(i)]->MidiInput().SetPackets(0, frames);
    }
    std::vector<void*> batch = WrappedPool::Batch(EffectKind::Delay, static_cast<int32_t>(instances));
    void* const* first = batch.data();
    const void* last = batch.data() + batch.size();
    const int32_t calls = CallsPerStretch(instances, frames);

    auto runDirect = [&] {
        for (int32_t call = 0; call < calls; ++call) {
            for (size_t i = 0; i < effects.size(); ++i) {
                vst2::AEffect* effect = effects[i];
                effect->processReplacing(effect, buffers[i]->inputs, buffers[i]->outputs, frames);
            }
            benchmark::ClobberMemory();
        }
    };
    auto runWrapped = [&] {
        for (int32_t call = 0; call < calls; ++call) {
            AAXWrapper_AlgorithmProcessFunction(first, last);
            benchmark::ClobberMemory();
        }
    };

    constexpr size_t kMaxSamples = 1 << 16;
    std::vector<double> directTimes, wrappedTimes, ratios;
    directTimes.reserve(kMaxSamples);
    wrappedTimes.reserve(kMaxSamples);
    ratios.reserve(kMaxSamples);
    bool directFirst = true;
    const uint64_t allocationsBefore = AllocationCount();
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        if (directFirst) runDirect(); else runWrapped();
        const Clock::time_point middle = Clock::now();
        if (directFirst) runWrapped(); else runDirect();
        const Clock::time_point end = Clock::now();
        const double firstSpan = std::chrono::duration<double, std::nano>(middle - start).count();
        const double secondSpan = std::chrono::duration<double, std::nano>(end - middle).count();
        const double directSpan = directFirst ? firstSpan : secondSpan;
        const double wrappedSpan = directFirst ? secondSpan : firstSpan;
        state.SetIterationTime((firstSpan + secondSpan) * 1e-9);
        if (ratios.size() < kMaxSamples && directSpan > 0.0) {
            directTimes.push_back(directSpan / calls);
            wrappedTimes.push_back(wrappedSpan / calls);
            ratios.push_back(wrappedSpan / directSpan);
        }
        directFirst = !directFirst;
    }
    const auto allocations = static_cast<double>(AllocationCount() - allocationsBefore);
    state.counters["allocs"] = benchmark::Counter(allocations, benchmark::Counter::kAvgIterations);
    state.counters["direct_ns"] = Median(directTimes);
    state.counters["wrapped_ns"] = Median(wrappedTimes);
    state.counters["ratio"] = Median(ratios);
    for (int64_t i = 0; i < instances; ++i) {
        direct[static_cast<size_t>(i)]->framesProcessed += state.iterations() * calls * frames;
        wrapped[static_cast<size_t>(i)]->framesProcessed += state.iterations() * calls * frames;
    }
}

BENCHMARK(BM_Interleaved)->Apply(DelayArguments)->UseManualTime();

// One null-effect instance; per packet the same three byte copies and timestamp copy into one
// reused event, and one effProcessEvents with a one-event list, then processReplacing.
void BM_MidiDirect(benchmark::State& state) {
    const auto packets = static_cast<uint32_t>(state.range(0));
    const auto& pool = DirectPool::Get(EffectKind::Null, 1);
    if (SkipUnlessReady(state, pool.size(), 1)) return;
    vst2::AEffect* effect = pool[0]->Effect();
    Buffers& buffers = Buffers::For(0);
    bench::BenchMidiNode node;
    node.SetPackets(packets, kMidiFrames);

    vst2::VstMidiEvent event{};
    event.type = vst2::kVstMidiType;
    event.byteSize = 24;
    vst2::VstEvents list{};
    list.numEvents = 1;
    list.events[0] = reinterpret_cast<vst2::VstEvent*>(&event);

    const uint64_t allocationsBefore = AllocationCount();
    for (auto _ : state) {
        for (uint32_t i = 0; i < node.PacketCount(); ++i) {
            const aaxhost::MidiPacketRecord& packet = node.Incoming(i);
            event.deltaFrames = static_cast<int32_t>(packet.timestamp);
            event.midiData[0] = static_cast<char>(packet.data[0]);
            event.midiData[1] = static_cast<char>(packet.data[1]);
            event.midiData[2] = static_cast<char>(packet.data[2]);
            effect->dispatcher(effect, vst2::effProcessEvents, 0, 0, &list, 0.0f);
        }
        effect->processReplacing(effect, buffers.inputs, buffers.outputs, kMidiFrames);
        benchmark::ClobberMemory();
    }
    ReportCounters(state, 1, allocationsBefore);
    benchmark::DoNotOptimize(bench::NullEffectStatusSum());
}

void BM_MidiWrapped(benchmark::State& state) {
    const auto packets = static_cast<uint32_t>(state.range(0));
    auto& pool = WrappedPool::Get(EffectKind::Null, 1);
    if (SkipUnlessReady(state, pool.size(), 1)) return;
    bench::WrappedInstance& instance = *pool[0];
    instance.SetFrames(kMidiFrames);
    instance.MidiInput().SetPackets(packets, kMidiFrames);
    void* batch[1] = {instance.Context()};

    const uint64_t allocationsBefore = AllocationCount();
    for (auto _ : state) {
        AAXWrapper_AlgorithmProcessFunction(batch, batch + 1);
        benchmark::ClobberMemory();
    }
    ReportCounters(state, 1, allocationsBefore);
    instance.MidiInput().SetPackets(0, kMidiFrames);
    benchmark::DoNotOptimize(bench::NullEffectStatusSum());
}

BENCHMARK(BM_MidiDirect)->ArgName("packets")->Arg(0)->Arg(1)->Arg(64);
BENCHMARK(BM_MidiWrapped)->ArgName("packets")->Arg(0)->Arg(1)->Arg(64);

}  // namespace
