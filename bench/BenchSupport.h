// What the module benchmarks share: the cheapest host we can write (a controller that records
// packets, a playing transport, MIDI nodes with fixed packet arrays), the two effects measured
// (the reference delay loaded from its built library, and a null effect that returns at once),
// and instances of each driven either directly through VST 2 or through the module's data
// model and processing callback. The host side is the host engine's own (host/engine/).
//
// Everything here runs on the benchmark's one thread. Set-up allocates freely; what the timed
// loops call allocates nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "HostInstance.h"
#include "SlotObjects.h"
#include "interfaces/aax_host.h"
#include "interfaces/vst2.h"
#include "render/AlgorithmContext.h"

class AAXWrapper_Parameters;

namespace bench {

// The sample rate every instance runs at.
constexpr float kSampleRate = 48000.0f;
// The longest buffer measured, and the most instances in one batch.
constexpr int32_t kMaxFrames = 2048;
constexpr int32_t kMaxInstances = 64;

// ---------------------------------------------------------------------------------------------
// Effects

// The reference delay's entry point from its built library, loaded once; null when the library
// or its "main" is missing (the reason is then in LastEffectLoadError).
vst2::MainProc DelayEntryPoint();
const char* LastEffectLoadError();

// What the cheapest VST 2 host answers: time requests get one fixed record (48 kHz, playing,
// 120 BPM in 4/4), every other opcode 0. The floor the module's own host callback is compared
// against.
intptr_t DirectHostCallback(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                            float opt);

// A VST 2 effect that does nothing: processReplacing returns at once, the dispatcher answers 0
// and frees the record on effClose. effProcessEvents reads the first event's status byte into a
// running sum, so that delivered MIDI cannot be optimised away. With parameters > 0 it has that
// many automatable parameters with identifiers "p0000", "p0001", ... (the private identifier
// requests answer them). With asksTime its processReplacing asks the host for the time once and
// reads the tempo, and does nothing else. Defined in its own translation unit so no call into it
// is inlined.
vst2::AEffect* CreateNullEffect(vst2::AudioMasterCallback host, int32_t parameters = 0, bool asksTime = false);
// The running sum of status bytes the null effects have received.
uint64_t NullEffectStatusSum();
// The running sum of the tempos the time-asking null effects were told.
double NullEffectTempoSum();

// The number of parameters of the NullManyParameters kind.
constexpr int32_t kManyParameters = 1000;

enum class EffectKind { Delay, Null, NullManyParameters, NullAskingTime };

// ---------------------------------------------------------------------------------------------
// Host

// [any] A transport that is playing at 120 BPM in 4/4 at bar 5, beat 2: every query succeeds
// with fixed answers and no bookkeeping, so the callback's snapshot work is all that is timed. The
// module reaches it through the host's own transport object, as in a session.
class BenchTransport final : public aaxhost::TransportSource {
public:
    int32_t Tempo(double* bpm) const override;
    int32_t Meter(int32_t* numerator, int32_t* denominator) const override;
    int32_t Playing(bool* playing) const override;
    int32_t SampleLocation(int64_t* location) const override;
    int32_t BarBeatPosition(int32_t* bars, int32_t* beats, int64_t* ticks, int64_t location) const override;
};

// [any] The host's MIDI node object with a fixed packet array and an optional transport.
class BenchMidiNode final : public aaxhost::MidiNodeObject {
public:
    static constexpr uint32_t kCapacity = 64;

    explicit BenchMidiNode(int32_t nodeType = 0, aaxhost::TransportObject* transport = nullptr)
        : MidiNodeObject(nodeType, kCapacity, transport) {}

    // [main] Fills the stream with count note-on packets (at most kCapacity), spread over the
    // buffer's frames.
    void SetPackets(uint32_t count, int32_t frames);
    uint32_t PacketCount() const { return packetCount_; }

private:
    uint32_t packetCount_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Buffers

// One stereo input and one stereo output of kMaxFrames per instance, shared by the direct and
// the wrapped runs so that both process exactly the same memory. Inputs hold a quiet sine.
class Buffers {
public:
    // [main] The set for instance (0 <= instance < kMaxInstances).
    static Buffers& For(int32_t instance);

    float* inputs[2];
    float* outputs[2];

private:
    Buffers();
    std::vector<float> mStorage;
};

// ---------------------------------------------------------------------------------------------
// Instances

// An effect driven directly through VST 2, as the cheapest host would: created with
// DirectHostCallback, given the sample rate, opened and resumed.
class DirectInstance {
public:
    // [main] effect must not be null; it is owned from here on and closed on destruction.
    explicit DirectInstance(vst2::AEffect* effect);
    ~DirectInstance();
    DirectInstance(const DirectInstance&) = delete;
    DirectInstance& operator=(const DirectInstance&) = delete;

    vst2::AEffect* Effect() const { return mEffect; }

    // Frames the effect has processed since it was created (kept by the benchmarks).
    int64_t framesProcessed = 0;

private:
    vst2::AEffect* mEffect;
};

// An effect driven through the module: an initialised AAXWrapper_Parameters holding the effect
// as its loader would have installed it, and the algorithm context the host hands the
// processing callback, assembled from the packets the data model posted plus the host's own
// fields (buffers, frame count, transport node, MIDI input node).
class WrappedInstance {
public:
    // [main] effect must not be null and must have been created with the module's host
    // callback (VstCallBack::HostCallback); the data model owns it from here on.
    WrappedInstance(vst2::AEffect* effect, Buffers& buffers, aaxhost::TransportObject* transport);
    ~WrappedInstance();
    WrappedInstance(const WrappedInstance&) = delete;
    WrappedInstance& operator=(const WrappedInstance&) = delete;

    // True when the data model posted the loaded flag 1 and the VstInterface pointer.
    bool Ready() const;
    AAXWrapper_Parameters& Model() const { return *mModel; }
    AlgorithmContext* Context() { return mContext; }
    BenchMidiNode& MidiInput() { return mMidiInput; }
    // [main] The frame count the host reports in field 5.
    void SetFrames(int32_t frames) { *mFrames = frames; }
    vst2::AEffect* Effect() const;

    // Frames the effect has processed since it was created (kept by the benchmarks).
    int64_t framesProcessed = 0;

private:
    AAXWrapper_Parameters* mModel;  // one reference held
    // The host's own controller: its packet store keeps what the data model posts where the
    // context record points, as the host's packet delivery would.
    aaxhost::InstanceSettings mSettings;
    aaxhost::PacketStore mPackets;
    aaxhost::HostController mController{mSettings, "bench", mPackets};
    BenchMidiNode mTransportNode;
    BenchMidiNode mMidiInput;
    int32_t* mFrames = nullptr;            // in mPackets' block
    AlgorithmContext* mContext = nullptr;  // in mPackets' block
};

// A pool of instances of one kind, grown on demand and kept for the life of the process, so
// every run of a benchmark reuses warm instances. Index i of a direct pool and of a wrapped
// pool use the same Buffers::For(i).
class DirectPool {
public:
    // [main] The first count instances (count <= kMaxInstances), created as needed; empty when
    // the effect cannot be created.
    static const std::vector<std::unique_ptr<DirectInstance>>& Get(EffectKind kind, int32_t count);
};

class WrappedPool {
public:
    // [main] Brings direct instance i and wrapped instance i of each of the first count pairs to
    // the same number of processed frames, by letting the one behind process silence-free input
    // until it catches up. An effect's position in its own delay memory follows from the frames
    // it has processed, and that position decides how its memory accesses align with the
    // buffers'; two instances at different positions can differ in cost by a few percent for
    // that reason alone, which would be charged to the module. Creates both pools as needed.
    static void AlignWithDirect(EffectKind kind, int32_t count);

    // [main] As DirectPool; each instance's frame count is left to the caller.
    static std::vector<std::unique_ptr<WrappedInstance>>& Get(EffectKind kind, int32_t count);
    // [main] The batch the processing callback receives: the contexts of the first count
    // instances of the pool, in order.
    static std::vector<void*> Batch(EffectKind kind, int32_t count);
};

}  // namespace bench
