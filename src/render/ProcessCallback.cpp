#include "render/ProcessCallback.h"

#include <cstdint>
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

    int64_t location = 0;
    if (transport.GetCurrentNativeSampleLocation(&location) != AAX_SUCCESS) return;

    double tempo = 0.0;
    if (transport.GetCurrentTempo(&tempo) == AAX_SUCCESS) {
        snapshot.tempo = tempo;
        snapshot.tempoValid = 1;
    }

    int32_t numerator = 0;
    int32_t denominator = 0;
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

// Sends each packet of the stream as a one-event list, reusing the instance's first event.
void ForwardMidi(AAX_IMIDINode& node, VstInterface& vst) {
    const AAX_CMidiStream* stream = node.GetNodeBuffer();
    if (stream == nullptr || stream->mBuffer == nullptr || vst.events == nullptr) return;

    vst2::VstMidiEvent& event = vst.events[0];
    vst2::VstEvents list{};
    list.numEvents = 1;
    list.reserved = 0;
    list.events[0] = reinterpret_cast<vst2::VstEvent*>(&event);

    for (uint32_t i = 0; i < stream->mBufferSize; ++i) {
        const AAX_CMidiPacket& packet = stream->mBuffer[i];
        event.deltaFrames = static_cast<int32_t>(packet.mTimestamp);
        event.midiData[0] = static_cast<char>(packet.mData[0]);
        event.midiData[1] = static_cast<char>(packet.mData[1]);
        event.midiData[2] = static_cast<char>(packet.mData[2]);
        vst.ProcessEvents(&list);
    }
}

// MIDI, then audio, for one loaded instance.
void ProcessEffect(const AlgorithmContext& context, VstInterface& vst, int32_t inputChannels,
                   int32_t outputChannels) {
    const auto* frames = FieldAs<const int32_t*>(context, kField_BufferLength);
    float* const* hostInputs = FieldAs<float* const*>(context, kField_AudioIn);
    float* const* hostOutputs = FieldAs<float* const*>(context, kField_AudioOut);

    auto* midiInput = FieldAs<AAX_IMIDINode*>(context, kField_MidiInputNode);
    if (midiInput != nullptr) ForwardMidi(*midiInput, vst);

    // Without the host's buffers or frame count there is nothing the effect could safely process.
    // The effect gets at least two entries per side, and as many as it declares; those past the
    // host's channels (the second of a mono side, say) are null.
    if (frames == nullptr) return;
    if (!vst.FillChannelArrays(hostInputs, inputChannels, hostOutputs, outputChannels)) return;
    vst.ProcessReplacing(vst.inputEntries.get(), vst.outputEntries.get(), *frames);
}

void ProcessInstance(const AlgorithmContext& context) {
    if (ReadInt32Field(context, kField_Loaded) != kLoaded) return;

    const int32_t inputChannels = ReadInt32Field(context, kField_InputChannels);
    const int32_t outputChannels = ReadInt32Field(context, kField_OutputChannels);

    VstInterface* vst = ReadVstInterface(context);
    if (vst == nullptr) return;
    VstCallBack* snapshot = vst->callBack;
    if (snapshot == nullptr) {
        ProcessEffect(context, *vst, inputChannels, outputChannels);
        return;
    }
    snapshot->tempoValid = 0;
    snapshot->timeSigValid = 0;
    snapshot->positionValid = 0;
    auto* transportNode = FieldAs<AAX_IMIDINode*>(context, kField_TransportNode);
    const AAX_ITransport* transport = transportNode != nullptr ? transportNode->GetTransport() : nullptr;
    if (transport != nullptr) TakeTransportSnapshot(*transport, *snapshot);
    snapshot->PublishSnapshot();

    // This thread's time requests are the audio thread's.
    snapshot->MarkAudioThread();
    ProcessEffect(context, *vst, inputChannels, outputChannels);
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
