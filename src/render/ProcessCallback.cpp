#include "render/ProcessCallback.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "interfaces/aax_description.h"
#include "interfaces/aax_host.h"
#include "interfaces/vst2.h"
#include "render/AlgorithmContext.h"
#include "vsthost/VstCallBack.h"
#include "vsthost/VstInterface.h"

// The host calls it through the registered pointer type, which does not carry noexcept.
static_assert(std::is_convertible_v<decltype(&AAXWrapper_AlgorithmProcessFunction), AAX_CProcessProc>);

namespace {

// Display ticks per beat in the host's bar/beat position.
constexpr double kTicksPerBeat = 960000.0;

// The only loaded-flag value that lets an instance run.
constexpr int32_t kLoaded = 1;

template <typename T>
T FieldAs(const AlgorithmContext& context, AlgorithmField field) {
    return static_cast<T>(context.fields[field]);
}

// A packet field the host hands over as a pointer to a signed 32-bit value; 0 when absent.
int32_t ReadInt32Field(const AlgorithmContext& context, AlgorithmField field) {
    const auto* value = FieldAs<const int32_t*>(context, field);
    return value != nullptr ? *value : 0;
}

VstInterface* ReadVstInterface(const AlgorithmContext& context) {
    auto* const* stored = FieldAs<VstInterface* const*>(context, kField_VstInterface);
    return stored != nullptr ? *stored : nullptr;
}

// Copies the host transport into the snapshot that the effect's time requests read.
void TakeTransportSnapshot(const AAX_ITransport& transport, VstCallBack& snapshot) {
    bool playing = false;
    transport.IsTransportPlaying(&playing);  // result ignored: the flag stays false on failure
    snapshot.isPlaying = playing ? 1 : 0;
    const bool started = playing && snapshot.wasPlaying == 0;

    // The host writes these on success, and only then are they read.
    int64_t location;
    if (transport.GetCurrentNativeSampleLocation(&location) != AAX_SUCCESS) return;

    double tempo;
    if (transport.GetCurrentTempo(&tempo) == AAX_SUCCESS) {
        snapshot.tempo = tempo;
        snapshot.tempoValid = 1;
    }

    int32_t numerator;
    int32_t denominator;
    if (transport.GetCurrentMeter(&numerator, &denominator) == AAX_SUCCESS) {
        snapshot.timeSigNumerator = numerator;
        snapshot.timeSigDenominator = denominator;
        snapshot.timeSigValid = 1;
    }

    if (!playing) return;

    int32_t bars = 0;
    int32_t beats = 0;
    int64_t ticks = 0;
    transport.GetBarBeatPosition(&bars, &beats, &ticks, location);  // result ignored

    // Bars, beats and the origin latched at the start count the meter's beats, so a bar holds
    // `numerator` of them and the position stays continuous across bar lines in every meter. The
    // time record promises quarter notes: a beat of a meter over d is 4 / d of one (a 4/4
    // position is unchanged). When the meter query failed, the last stored meter (4/4 until the
    // host first reports one) stands in.
    const double beatsPerBar = static_cast<double>(snapshot.timeSigNumerator);
    const double quartersPerBeat =
        snapshot.timeSigDenominator > 0 ? 4.0 / static_cast<double>(snapshot.timeSigDenominator) : 1.0;
    if (started) snapshot.ppqOffset = (static_cast<double>(bars) + 1.0) * beatsPerBar + 1.0;
    const double beatsFromOrigin = static_cast<double>(bars) * beatsPerBar + static_cast<double>(beats) +
                                   static_cast<double>(ticks) / kTicksPerBeat - snapshot.ppqOffset;
    snapshot.ppqPosition = beatsFromOrigin * quartersPerBeat;
    snapshot.samplePosition = static_cast<int32_t>(static_cast<uint32_t>(location));
    snapshot.positionValid = 1;
}

// Sends the packets of the stream that fall into the sub-block [begin, end) (and, for the last
// one, every later packet too) as one-event lists, reusing the instance's first event, with delta
// frames counted from the sub-block's start.
void SendPackets(const AAX_CMidiStream& stream, VstInterface& vst, uint32_t begin, uint32_t end, bool last) {
    vst2::VstMidiEvent& event = vst.events[0];
    vst2::VstEvents list{};
    list.numEvents = 1;
    list.reserved = 0;
    list.events[0] = reinterpret_cast<vst2::VstEvent*>(&event);

    for (uint32_t i = 0; i < stream.mBufferSize; ++i) {
        const AAX_CMidiPacket& packet = stream.mBuffer[i];
        if (packet.mTimestamp < begin || (packet.mTimestamp >= end && !last)) continue;
        event.deltaFrames = static_cast<int32_t>(packet.mTimestamp - begin);
        event.midiData[0] = static_cast<char>(packet.mData[0]);
        event.midiData[1] = static_cast<char>(packet.mData[1]);
        event.midiData[2] = static_cast<char>(packet.mData[2]);
        vst.ProcessEvents(&list);
    }
}

inline void ForwardMidi(const AAX_CMidiStream* stream, VstInterface& vst, uint32_t begin, uint32_t end, bool last) {
    if (stream == nullptr || stream->mBufferSize == 0 || stream->mBuffer == nullptr || vst.events == nullptr) return;
    SendPackets(*stream, vst, begin, end, last);
}

// The host's side of one buffer: its channels, their counts and the frame count.
struct HostBuffers {
    float* const* inputs;
    float* const* outputs;
    int32_t inputCount;
    int32_t outputCount;
    int32_t frames;
};

// Writes frames [from, frames) of every host output that the effect did not produce: the
// matching input when dry (the master bypass is on), silence otherwise.
void WriteUnprocessed(const HostBuffers& host, int32_t from, bool dry) {
    if (host.outputs == nullptr || from >= host.frames) return;
    const auto count = static_cast<size_t>(host.frames - from);
    for (int32_t channel = 0; channel < host.outputCount; ++channel) {
        float* const output = host.outputs[channel];
        if (output == nullptr) continue;
        const float* input = dry && host.inputs != nullptr && channel < host.inputCount ? host.inputs[channel] : nullptr;
        if (input == output) continue;
        if (input != nullptr) {
            std::memmove(output + from, input + from, count * sizeof(float));
        } else {
            std::memset(output + from, 0, count * sizeof(float));
        }
    }
}

// Silences frames [0, to) of the host outputs from channel `first` on: those the effect does not
// provide.
void SilenceChannels(const HostBuffers& host, int32_t first, int32_t to) {
    for (int32_t channel = first < 0 ? 0 : first; channel < host.outputCount; ++channel) {
        if (host.outputs[channel] != nullptr) std::memset(host.outputs[channel], 0, static_cast<size_t>(to) * sizeof(float));
    }
}

// One audio call over frames [offset, offset + frames) of the host's buffers, after the MIDI that
// falls into them. False when the effect was not called: its channel arrays wait to be made
// again, it cannot be called, or it failed. *provided becomes the host outputs it writes (those
// of the first two it declares), read while its layout is current. Inlined where the whole
// buffer is one block, so that the offset folds away.
inline bool RunBlock(const AAX_CMidiStream* stream, VstInterface& vst, const HostBuffers& host, int32_t offset,
                     int32_t frames, bool last, int32_t* provided) {
    if (!vst.LayoutCurrent()) {
        ForwardMidi(stream, vst, static_cast<uint32_t>(offset), 0, true);
        return false;
    }
    const int32_t outputs = vst.LayoutOutputs();
    *provided = outputs < VstInterface::kMinChannelEntries ? outputs : VstInterface::kMinChannelEntries;
    ForwardMidi(stream, vst, static_cast<uint32_t>(offset), static_cast<uint32_t>(offset + frames), last);
    vst.FillChannelArrays(host.inputs, host.inputCount, host.outputs, host.outputCount, offset, frames);
    return vst.ProcessAudio(frames);
}

// A host buffer longer than the effect was told, as consecutive sub-blocks of at most
// kMaxBlockFrames, the snapshot moved on for each. The frames done.
int32_t RunSubBlocks(const AAX_CMidiStream* stream, VstInterface& vst, VstCallBack* snapshot, const HostBuffers& host,
                     int32_t* provided) {
    int32_t done = 0;
    while (done < host.frames) {
        const int32_t frames = host.frames - done < VstInterface::kMaxBlockFrames ? host.frames - done
                                                                                 : VstInterface::kMaxBlockFrames;
        if (done > 0 && snapshot != nullptr) snapshot->AdvanceSnapshot(VstInterface::kMaxBlockFrames);
        if (!RunBlock(stream, vst, host, done, frames, done + frames >= host.frames, provided)) break;
        done += frames;
    }
    return done;
}

// MIDI, then audio, for one loaded instance, in sub-blocks of at most the block size the effect
// was told. Every host output frame is written: by the effect, or as WriteUnprocessed says.
void ProcessEffect(const AAX_CMidiStream* stream, VstInterface& vst, VstCallBack* snapshot, const HostBuffers& host) {
    // Without the host's buffers nothing can be processed; the events still reach the effect.
    if (host.inputs == nullptr || host.outputs == nullptr) {
        ForwardMidi(stream, vst, 0, 0, true);
        WriteUnprocessed(host, 0, false);
        return;
    }
    int32_t provided = 0;
    int32_t done = 0;
    if (host.frames <= VstInterface::kMaxBlockFrames) {
        if (RunBlock(stream, vst, host, 0, host.frames, true, &provided)) done = host.frames;
    } else {
        done = RunSubBlocks(stream, vst, snapshot, host, &provided);
    }
    // A change of the effect's channels made in this buffer is taken up before the next one.
    vst.LayoutCurrent();
    if (done > 0 && provided < host.outputCount) SilenceChannels(host, provided, done);
    if (done < host.frames) WriteUnprocessed(host, done, vst.Bypassed());
}

HostBuffers ReadHostBuffers(const AlgorithmContext& context) {
    const auto* frames = FieldAs<const int32_t*>(context, kField_BufferLength);
    HostBuffers host{FieldAs<float* const*>(context, kField_AudioIn), FieldAs<float* const*>(context, kField_AudioOut),
                     ReadInt32Field(context, kField_InputChannels), ReadInt32Field(context, kField_OutputChannels),
                     frames != nullptr && *frames > 0 ? *frames : 0};
    // Without a frame count there is nothing to write (and nothing the effect could process).
    if (frames == nullptr) host.outputs = nullptr;
    return host;
}

void ProcessInstance(const AlgorithmContext& context) {
    VstInterface* const vst = ReadInt32Field(context, kField_Loaded) == kLoaded ? ReadVstInterface(context) : nullptr;
    // An instance without an effect has nothing to call, its snapshot included.
    if (vst == nullptr || vst->effect == nullptr) {
        WriteUnprocessed(ReadHostBuffers(context), 0, false);
        return;
    }
    // The host's answers first; what the effect's call needs is read after them, rather than
    // read before and kept across them.
    VstCallBack* const snapshot = vst->callBack;
    if (snapshot != nullptr) {
        snapshot->tempoValid = 0;
        snapshot->timeSigValid = 0;
        snapshot->positionValid = 0;
        auto* transportNode = FieldAs<AAX_IMIDINode*>(context, kField_TransportNode);
        const AAX_ITransport* transport = transportNode != nullptr ? transportNode->GetTransport() : nullptr;
        if (transport != nullptr) TakeTransportSnapshot(*transport, *snapshot);
        snapshot->PublishSnapshot();
        // This thread's time requests are the audio thread's.
        snapshot->MarkAudioThread();
    }
    auto* midiInput = FieldAs<AAX_IMIDINode*>(context, kField_MidiInputNode);
    const AAX_CMidiStream* stream = midiInput != nullptr ? midiInput->GetNodeBuffer() : nullptr;
    ProcessEffect(stream, *vst, snapshot, ReadHostBuffers(context));
}

}  // namespace

void AAXWrapper_AlgorithmProcessFunction(void* const instancesBegin[], const void* instancesEnd) noexcept {
    if (instancesBegin == nullptr || instancesEnd == nullptr) return;
    for (void* const* entry = instancesBegin; entry < static_cast<void* const*>(instancesEnd); ++entry) {
        const auto* context = static_cast<const AlgorithmContext*>(*entry);
        if (context == nullptr) continue;
        // The effect's exceptions stop in VstInterface; this stops the host's own (its transport
        // or MIDI node throwing) before they unwind through the host's caller.
        try {
            ProcessInstance(*context);
        } catch (...) {
        }
    }
}
