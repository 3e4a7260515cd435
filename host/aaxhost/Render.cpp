#include "Render.h"

#include <algorithm>
#include <cmath>

#include "EffectPresence.h"
#include "FileAccess.h"
#include "Interrupts.h"

namespace aaxhost {

namespace {

bool Fail(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

class MemoryReader final : public AudioReader {
public:
    explicit MemoryReader(const AudioData& audio) : audio_(audio) {}
    double SampleRate() const override { return audio_.sampleRate; }
    int32_t Channels() const override { return audio_.ChannelCount(); }
    int64_t Frames() const override { return audio_.Frames(); }
    int64_t Read(float* samples, int64_t frames) override {
        const int64_t count = std::min(frames, audio_.Frames() - at_);
        const size_t channels = audio_.channels.size();
        for (int64_t f = 0; f < count; ++f) {
            for (size_t c = 0; c < channels; ++c) {
                samples[static_cast<size_t>(f) * channels + c] = audio_.channels[c][static_cast<size_t>(at_ + f)];
            }
        }
        at_ += count;
        return count;
    }

private:
    const AudioData& audio_;
    int64_t at_ = 0;
};

class MemoryWriter final : public AudioWriter {
public:
    MemoryWriter(AudioData& audio, int32_t channels) : audio_(audio) {
        audio_.channels.assign(static_cast<size_t>(channels), {});
    }
    bool Write(const float* samples, int64_t frames, std::string*) override {
        const size_t channels = audio_.channels.size();
        for (int64_t f = 0; f < frames; ++f) {
            for (size_t c = 0; c < channels; ++c) audio_.channels[c].push_back(samples[static_cast<size_t>(f) * channels + c]);
        }
        return true;
    }
    bool Close(std::string*) override { return true; }

private:
    AudioData& audio_;
};

// The buffers of one render, sized once: the input as read (interleaved), the instance's
// channels in and out, and the output as written (interleaved).
struct BlockBuffers {
    BlockBuffers(int32_t sources, int32_t channels, int32_t block)
        : read(static_cast<size_t>(sources) * static_cast<size_t>(block)),
          in(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(block))),
          out(in),
          written(static_cast<size_t>(channels) * static_cast<size_t>(block)) {
        for (size_t c = 0; c < in.size(); ++c) {
            inPointers.push_back(in[c].data());
            outPointers.push_back(out[c].data());
        }
    }
    // The frames read become the layout's channels; the rest of the buffer is silence.
    void MapInput(int32_t sources, int64_t readable, int64_t frames) {
        const size_t channels = in.size();
        const size_t stride = static_cast<size_t>(sources);
        for (int64_t f = 0; f < frames; ++f) {
            const size_t at = static_cast<size_t>(f);
            if (f >= readable || sources == 0) {
                for (size_t c = 0; c < channels; ++c) in[c][at] = 0.0f;
            } else if (channels == 1) {
                double sum = 0.0;
                for (size_t s = 0; s < stride; ++s) sum += read[at * stride + s];
                in[0][at] = static_cast<float>(sum / static_cast<double>(sources));
            } else {
                for (size_t c = 0; c < channels; ++c) in[c][at] = read[at * stride + std::min(c, stride - 1)];
            }
        }
    }
    // Returns the number of samples that are NaN or infinite.
    int64_t InterleaveOutput(int64_t frames) {
        const size_t channels = out.size();
        int64_t nonFinite = 0;
        for (size_t f = 0; f < static_cast<size_t>(frames); ++f) {
            for (size_t c = 0; c < channels; ++c) {
                const float sample = out[c][f];
                nonFinite += std::isfinite(sample) ? 0 : 1;
                written[f * channels + c] = sample;
            }
        }
        return nonFinite;
    }

    std::vector<float> read;
    std::vector<std::vector<float>> in, out;
    std::vector<const float*> inPointers;
    std::vector<float*> outPointers;
    std::vector<float> written;
};

}  // namespace

bool IsIndexName(const std::string& name) {
    return name.size() >= 2 && name.size() <= 11 && name[0] == '#' &&
           std::all_of(name.begin() + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int32_t RenderStemFormat(const RenderOptions& options, int32_t inputChannels) {
    if (options.stemFormat != 0) return options.stemFormat;
    return inputChannels == 1 ? AAX_eStemFormat_Mono : AAX_eStemFormat_Stereo;
}

int64_t RenderLength(const RenderOptions& options, int64_t inputFrames, double sampleRate) {
    return inputFrames + static_cast<int64_t>(std::llround(std::max(0.0, options.tailSeconds) * sampleRate));
}

bool RenderStream(const EffectDescription& effect, AudioReader& input, AudioWriter& output,
                  const RenderOptions& options, RenderResult* result, std::string* error,
                  const std::function<void(const AppliedChange&)>& onChange) {
    auto inputError = [&](const std::string& reason) {
        result->inputError = true;
        return Fail(error, reason);
    };
    if (options.block <= 0 || options.block > 65536) return inputError("block size must be 1 to 65536 frames");
    InstanceSettings settings;
    settings.sampleRate = input.SampleRate();
    settings.stemFormat = RenderStemFormat(options, input.Channels());
    settings.maxBlock = options.block;
    std::unique_ptr<HostInstance> instance = HostInstance::Create(effect, settings, error);
    if (!instance) return false;
    const AAX_Result initialized = instance->Initialize();
    if (initialized != AAX_SUCCESS) return Fail(error, "Initialize failed with " + std::to_string(initialized));
    if (!EffectLoaded(*instance)) return Fail(error, MissingEffectReason());
    if (options.stateIn != nullptr) {
        std::string reason;
        if (!instance->OffersChunks(*options.stateIn, &reason)) return inputError("--state-in: " + reason);
        if (instance->RestoreChunks(*options.stateIn, error) != AAX_SUCCESS) return false;
    }
    for (const auto& [name, value] : options.sets) {
        std::string id = name;
        if (IsIndexName(name)) {
            const std::vector<ParameterInfo> parameters = instance->Parameters();
            const auto found = std::find_if(parameters.begin(), parameters.end(), [&name](const ParameterInfo& p) {
                return std::to_string(p.index) == name.substr(1);
            });
            if (found == parameters.end()) {
                return inputError("the effect has no parameter " + name + " (it has " + std::to_string(parameters.size()) +
                                  ", #0 to #" + std::to_string(static_cast<int64_t>(parameters.size()) - 1) + ")");
            }
            id = found->id;
        } else if (!instance->HasParameter(id)) {
            return inputError("the effect has no parameter \"" + id + "\"");
        }
        const AAX_Result set = instance->SetParameter(id, value);
        if (set != AAX_SUCCESS) return Fail(error, "setting \"" + id + "\" failed with " + std::to_string(set));
    }
    AutomationPlayer automation(options.automation);
    for (const std::string& id : automation.Parameters()) {
        if (!instance->HasParameter(id)) return inputError("the automation names \"" + id + "\", which the effect has no parameter for");
    }
    instance->GenerateCoefficients();

    TransportState& transport = instance->Transport();
    transport.SetTempo(options.tempo);
    transport.SetMeter(options.meterNumerator, options.meterDenominator);
    transport.SetPosition(0);
    transport.SetPlaying(options.play);

    const double rate = input.SampleRate();
    const int32_t sources = input.Channels();
    const int32_t channels = instance->Channels();
    const int64_t inputFrames = input.Frames();
    const int64_t total = RenderLength(options, inputFrames, rate);
    const int64_t stopFrame = options.play && options.stopAtSeconds >= 0.0
                                  ? static_cast<int64_t>(std::llround(options.stopAtSeconds * rate))
                                  : -1;
    BlockBuffers buffers(sources, channels, options.block);

    // Host automation: the data model is asked to take the value, the module turns that into
    // a request the host's automation delegate answers, as a host's lane would.
    AAX_Result automationFailure = AAX_SUCCESS;
    std::string failedId;
    bool changed = false;
    int64_t position = 0;
    auto current = [&instance](const std::string& id) {
        double value = 0.0;
        instance->GetParameter(id, &value);
        return value;
    };
    auto apply = [&](const std::string& id, double value) {
        const AAX_Result set = instance->SetParameter(id, value);
        if (set != AAX_SUCCESS && automationFailure == AAX_SUCCESS) {
            automationFailure = set;
            failedId = id;
        }
        changed = true;
        ++result->automationChanges;
        if (onChange) onChange({position, id, value, current(id)});
    };

    size_t nextEvent = 0;
    int64_t lastReport = 0;
    while (position < total) {
        if (InterruptStatus() != 0) {
            result->interrupted = true;
            return Fail(error, InterruptReason());
        }
        int64_t frames = std::min<int64_t>(options.block, total - position);
        if (stopFrame >= 0 && position < stopFrame && stopFrame < position + frames) frames = stopFrame - position;
        const int64_t nextPoint = automation.NextPointAfter(position);
        if (nextPoint >= 0 && nextPoint < position + frames) frames = nextPoint - position;
        if (stopFrame >= 0 && position >= stopFrame) transport.SetPlaying(false);
        if (!automation.Empty()) {
            changed = false;
            automation.Advance(position, current, apply);
            if (automationFailure != AAX_SUCCESS) {
                return Fail(error, "automating \"" + failedId + "\" failed with " + std::to_string(automationFailure));
            }
            if (changed) instance->GenerateCoefficients();
        }
        const int64_t readable = std::clamp<int64_t>(inputFrames - position, 0, frames);
        if (readable > 0 && input.Read(buffers.read.data(), readable) != readable) {
            return inputError("cannot read all of " + options.inputName + ": it ends before its header says (" +
                              CountText(inputFrames, "frame") + ")");
        }
        buffers.MapInput(sources, readable, frames);
        while (nextEvent < options.midi.size() && options.midi[nextEvent].frame < position + frames) {
            const MidiEvent& event = options.midi[nextEvent++];
            if (event.frame < position) continue;
            if (!instance->QueueMidi(static_cast<uint32_t>(event.frame - position), event.status, event.data1, event.data2)) {
                ++result->droppedMidi;
            }
        }
        instance->Process(buffers.inPointers.data(), buffers.outPointers.data(), static_cast<int32_t>(frames));
        result->unwrittenSamples += instance->Unwritten().samples;
        // The main thread's time between buffers, as a real host's idle timer gives it: the
        // instance takes up there what it must not do on the audio thread (a change of the
        // effect's channels, say), so an offline render meets it as a live one does.
        instance->TimerWakeup();
        result->nonFiniteSamples += buffers.InterleaveOutput(frames);
        if (!output.Write(buffers.written.data(), frames, error)) {
            result->inputError = true;
            return false;
        }
        position += frames;
        if (options.progress && (position - lastReport >= static_cast<int64_t>(rate) || position == total)) {
            lastReport = position;
            options.progress(static_cast<double>(position) / static_cast<double>(total));
        }
    }
    for (; nextEvent < options.midi.size(); ++nextEvent) result->lateMidi += options.midi[nextEvent].frame >= total ? 1 : 0;
    for (const AutomationPoint& point : options.automation) result->lateAutomation += point.frame >= total ? 1 : 0;
    if (options.saveState && instance->SaveChunks(&result->state, error) != AAX_SUCCESS) return false;
    instance->Release();
    result->frames = total;
    result->channels = channels;
    result->sampleRate = rate;
    return true;
}

bool Render(const EffectDescription& effect, const AudioData& input, const RenderOptions& options,
            RenderResult* result, std::string* error, const std::function<void(const AppliedChange&)>& onChange) {
    MemoryReader reader(input);
    const int32_t channels = AAX_StemFormatChannelCount(RenderStemFormat(options, input.ChannelCount()));
    result->output = AudioData{};
    result->output.sampleRate = input.sampleRate;
    MemoryWriter writer(result->output, channels);
    return RenderStream(effect, reader, writer, options, result, error, onChange) && writer.Close(error);
}

}  // namespace aaxhost
