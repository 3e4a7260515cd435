#include "Render.h"

#include <algorithm>
#include <cmath>

namespace aaxhost {

namespace {

// The input as the layout's channels.
std::vector<std::vector<float>> MapChannels(const AudioData& input, int32_t channels) {
    const size_t frames = static_cast<size_t>(input.Frames());
    std::vector<std::vector<float>> mapped(static_cast<size_t>(channels), std::vector<float>(frames, 0.0f));
    const int32_t sources = input.ChannelCount();
    if (sources == 0) return mapped;
    if (channels == 1) {
        for (size_t f = 0; f < frames; ++f) {
            double sum = 0.0;
            for (int32_t c = 0; c < sources; ++c) sum += input.channels[static_cast<size_t>(c)][f];
            mapped[0][f] = static_cast<float>(sum / sources);
        }
        return mapped;
    }
    for (int32_t c = 0; c < channels; ++c) mapped[static_cast<size_t>(c)] = input.channels[static_cast<size_t>(std::min(c, sources - 1))];
    return mapped;
}

}  // namespace

bool Render(const EffectDescription& effect, const AudioData& input, const RenderOptions& options,
            RenderResult* result, std::string* error) {
    if (options.block <= 0 || options.block > 65536) {
        if (error) *error = "block size must be 1 to 65536 frames";
        return false;
    }
    InstanceSettings settings;
    settings.sampleRate = input.sampleRate;
    settings.stemFormat = options.stemFormat != 0 ? options.stemFormat
                          : input.ChannelCount() == 1 ? AAX_eStemFormat_Mono
                                                      : AAX_eStemFormat_Stereo;
    settings.maxBlock = options.block;
    std::unique_ptr<HostInstance> instance = HostInstance::Create(effect, settings, error);
    if (!instance) return false;
    const AAX_Result initialized = instance->Initialize();
    if (initialized != AAX_SUCCESS) {
        if (error) *error = "Initialize failed with " + std::to_string(initialized);
        return false;
    }
    if (options.stateIn != nullptr && instance->RestoreChunks(*options.stateIn, error) != AAX_SUCCESS) return false;
    for (const auto& [id, value] : options.sets) {
        if (!instance->HasParameter(id)) {
            if (error) *error = "the effect has no parameter \"" + id + "\"";
            result->inputError = true;
            return false;
        }
        const AAX_Result set = instance->SetParameter(id, value);
        if (set != AAX_SUCCESS) {
            if (error) *error = "setting \"" + id + "\" failed with " + std::to_string(set);
            return false;
        }
    }
    instance->GenerateCoefficients();

    TransportState& transport = instance->Transport();
    transport.SetTempo(options.tempo);
    transport.SetMeter(options.meterNumerator, options.meterDenominator);
    transport.SetPosition(0);
    transport.SetPlaying(options.play);

    const int32_t channels = instance->Channels();
    const std::vector<std::vector<float>> source = MapChannels(input, channels);
    const int64_t inputFrames = input.Frames();
    const int64_t total = inputFrames + static_cast<int64_t>(std::llround(std::max(0.0, options.tailSeconds) * input.sampleRate));
    const int64_t stopFrame = options.play && options.stopAtSeconds >= 0.0
                                  ? static_cast<int64_t>(std::llround(options.stopAtSeconds * input.sampleRate))
                                  : -1;

    result->output.sampleRate = input.sampleRate;
    result->output.channels.assign(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(total), 0.0f));
    std::vector<std::vector<float>> blockIn(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(options.block)));
    std::vector<const float*> inPointers(static_cast<size_t>(channels));
    std::vector<float*> outPointers(static_cast<size_t>(channels));
    size_t nextEvent = 0;
    int64_t lastReport = 0;
    for (int64_t position = 0; position < total;) {
        int64_t frames = std::min<int64_t>(options.block, total - position);
        if (stopFrame >= 0 && position < stopFrame && stopFrame < position + frames) frames = stopFrame - position;
        if (stopFrame >= 0 && position >= stopFrame) transport.SetPlaying(false);
        for (int32_t c = 0; c < channels; ++c) {
            std::vector<float>& buffer = blockIn[static_cast<size_t>(c)];
            for (int64_t f = 0; f < frames; ++f) {
                const int64_t at = position + f;
                buffer[static_cast<size_t>(f)] = at < inputFrames ? source[static_cast<size_t>(c)][static_cast<size_t>(at)] : 0.0f;
            }
            inPointers[static_cast<size_t>(c)] = buffer.data();
            outPointers[static_cast<size_t>(c)] = result->output.channels[static_cast<size_t>(c)].data() + position;
        }
        while (nextEvent < options.midi.size() && options.midi[nextEvent].frame < position + frames) {
            const MidiEvent& event = options.midi[nextEvent++];
            if (event.frame < position) continue;
            if (!instance->QueueMidi(static_cast<uint32_t>(event.frame - position), event.status, event.data1, event.data2)) {
                ++result->droppedMidi;
            }
        }
        instance->Process(inPointers.data(), outPointers.data(), static_cast<int32_t>(frames));
        position += frames;
        if (options.progress && (position - lastReport >= static_cast<int64_t>(input.sampleRate) || position == total)) {
            lastReport = position;
            options.progress(static_cast<double>(position) / static_cast<double>(total));
        }
    }
    if (options.saveState && instance->SaveChunks(&result->state, error) != AAX_SUCCESS) return false;
    instance->Release();
    return true;
}

}  // namespace aaxhost
