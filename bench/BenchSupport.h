// What the module benchmarks share: the cheapest host we can write (a controller that records
// packets, a playing transport, MIDI nodes with fixed packet arrays), the two effects measured
// (the reference delay loaded from its built library, and a null effect that returns at once),
// and instances of each driven either directly through VST 2 or through the module's data
// model and processing callback.
//
// Everything here runs on the benchmark's one thread. Set-up allocates freely; what the timed
// loops call allocates nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

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

// The host's controller as the data model reaches it through IACFUnknown: only the version-1
// controller interface is offered (no automation delegate, no transport), so parameters take
// their values at once. Answers 48 kHz stereo; PostPacket keeps the last payload of each field
// in a slot that the instance's algorithm context points at, as the host's packet delivery
// would.
class BenchController final : public AAX_IACFController {
public:
    // [main] Pointer to the stored payload of field (up to 8 bytes, zero until posted).
    void* FieldSlot(AAX_CFieldIndex field) { return &mSlots[field]; }

    ACFRESULT QueryInterface(const acfIID& iid, void** outInterface) override;
    acfUInt32 AddRef() override { return 1; }
    acfUInt32 Release() override { return 1; }

    AAX_Result GetEffectID(AAX_IString* outEffectID) const override;
    AAX_Result GetSampleRate(float* outSampleRate) const override;
    AAX_Result GetInputStemFormat(int32_t* outStemFormat) const override;
    AAX_Result GetOutputStemFormat(int32_t* outStemFormat) const override;
    AAX_Result GetSignalLatency(int32_t* outSamples) const override;
    AAX_Result GetCycleCount(int32_t whichCycleCount, int32_t* outCycles) const override;
    AAX_Result GetTODLocation(int64_t* outTODLocation) const override;
    AAX_Result SetSignalLatency(int32_t numSamples) override;
    AAX_Result SetCycleCount(int32_t* selectors, int32_t* values, int32_t count) override;
    AAX_Result PostPacket(AAX_CFieldIndex fieldIndex, const void* payload, uint32_t payloadSize) override;
    AAX_Result GetCurrentMeterValue(AAX_CTypeID meterID, float* outValue) const override;
    AAX_Result GetMeterPeakValue(AAX_CTypeID meterID, float* outValue) const override;
    AAX_Result ClearMeterPeakValue(AAX_CTypeID meterID) const override;
    AAX_Result GetMeterClipped(AAX_CTypeID meterID, bool* outClipped) const override;
    AAX_Result ClearMeterClipped(AAX_CTypeID meterID) const override;
    AAX_Result GetMeterCount(uint32_t* outMeterCount) const override;
    AAX_Result GetNextMIDIPacket(AAX_CFieldIndex* outPort, AAX_CMidiPacket* outPacket) override;

private:
    alignas(8) uint64_t mSlots[kField_Count] = {};
};

// [any] A transport that is playing at 120 BPM in 4/4 at bar 5, beat 2: every query succeeds
// with fixed answers and no bookkeeping, so the callback's snapshot work is all that is timed.
class BenchTransport final : public AAX_ITransport {
public:
    AAX_Result GetCurrentTempo(double* outTempo) const override;
    AAX_Result GetCurrentMeter(int32_t* outNumerator, int32_t* outDenominator) const override;
    AAX_Result IsTransportPlaying(bool* outIsPlaying) const override;
    AAX_Result GetCurrentTickPosition(int64_t* outTickPosition) const override;
    AAX_Result GetCurrentLoopPosition(bool* outLooping, int64_t* outLoopStartTick,
                                      int64_t* outLoopEndTick) const override;
    AAX_Result GetCurrentNativeSampleLocation(int64_t* outSampleLocation) const override;
    AAX_Result GetCustomTickPosition(int64_t* outTickPosition, int64_t sampleLocation) const override;
    AAX_Result GetBarBeatPosition(int32_t* outBars, int32_t* outBeats, int64_t* outDisplayTicks,
                                  int64_t sampleLocation) const override;
    AAX_Result GetTicksPerQuarter(uint32_t* outTicks) const override;
    AAX_Result GetCurrentTicksPerBeat(uint32_t* outTicks) const override;
    AAX_Result GetTimelineSelectionStartPosition(int64_t* outSampleLocation) const override;
    AAX_Result GetTimeCodeInfo(int32_t* outFrameRate, int64_t* outOffset) const override;
    AAX_Result GetFeetFramesInfo(int32_t* outFeetFramesRate, int64_t* outOffset) const override;
};

// [any] A MIDI node with a fixed packet array and an optional transport.
class BenchMidiNode final : public AAX_IMIDINode {
public:
    static constexpr uint32_t kCapacity = 64;

    explicit BenchMidiNode(AAX_ITransport* transport = nullptr) : mTransport(transport) {}
    BenchMidiNode(const BenchMidiNode&) = delete;  // the stream points into this object
    BenchMidiNode& operator=(const BenchMidiNode&) = delete;

    // [main] Fills the stream with count note-on packets (at most kCapacity), spread over the
    // buffer's frames.
    void SetPackets(uint32_t count, int32_t frames);

    AAX_CMidiStream* GetNodeBuffer() override { return &mStream; }
    AAX_Result PostMIDIPacket(AAX_CMidiPacket*) override { return AAX_SUCCESS; }
    AAX_ITransport* GetTransport() override { return mTransport; }

private:
    AAX_CMidiPacket mPackets[kCapacity] = {};
    AAX_CMidiStream mStream{0, mPackets};
    AAX_ITransport* mTransport;
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
    WrappedInstance(vst2::AEffect* effect, Buffers& buffers, AAX_ITransport* transport);
    ~WrappedInstance();
    WrappedInstance(const WrappedInstance&) = delete;
    WrappedInstance& operator=(const WrappedInstance&) = delete;

    // True when the data model posted the loaded flag 1 and the VstInterface pointer.
    bool Ready() const;
    AAXWrapper_Parameters& Model() const { return *mModel; }
    AlgorithmContext* Context() { return &mContext; }
    BenchMidiNode& MidiInput() { return mMidiInput; }
    // [main] The frame count the host reports in field 5.
    void SetFrames(int32_t frames) { mFrames = frames; }
    vst2::AEffect* Effect() const;

    // Frames the effect has processed since it was created (kept by the benchmarks).
    int64_t framesProcessed = 0;

private:
    AAXWrapper_Parameters* mModel;  // one reference held
    BenchController mController;
    BenchMidiNode mTransportNode;
    BenchMidiNode mMidiInput;
    int32_t mFrames = 0;
    AlgorithmContext mContext{};
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
