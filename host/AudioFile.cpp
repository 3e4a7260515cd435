#include "AudioFile.h"

#if AAXHOST_HAVE_SNDFILE
#include <sndfile.h>
#endif

namespace aaxhost {

#if AAXHOST_HAVE_SNDFILE

bool ReadAudioFile(const std::string& path, AudioData* audio, std::string* error) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        if (error) *error = "cannot read " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    if (info.channels <= 0 || info.channels > 64 || info.samplerate <= 0) {
        sf_close(file);
        if (error) *error = path + ": unsupported channel count or sample rate";
        return false;
    }
    std::vector<float> interleaved(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
    const sf_count_t read = sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    audio->sampleRate = info.samplerate;
    audio->channels.assign(static_cast<size_t>(info.channels), std::vector<float>(static_cast<size_t>(read)));
    for (sf_count_t f = 0; f < read; ++f) {
        for (int c = 0; c < info.channels; ++c) {
            audio->channels[static_cast<size_t>(c)][static_cast<size_t>(f)] =
                interleaved[static_cast<size_t>(f) * static_cast<size_t>(info.channels) + static_cast<size_t>(c)];
        }
    }
    return true;
}

bool WriteFloatWavFile(const std::string& path, const AudioData& audio, std::string* error) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(audio.sampleRate + 0.5);
    info.channels = audio.ChannelCount();
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        if (error) *error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    const size_t channels = static_cast<size_t>(audio.ChannelCount());
    const size_t frames = static_cast<size_t>(audio.Frames());
    std::vector<float> interleaved(frames * channels);
    for (size_t f = 0; f < frames; ++f) {
        for (size_t c = 0; c < channels; ++c) interleaved[f * channels + c] = audio.channels[c][f];
    }
    const sf_count_t written = sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(frames));
    sf_close(file);
    if (written != static_cast<sf_count_t>(frames)) {
        if (error) *error = "cannot write all of " + path;
        return false;
    }
    return true;
}

#else

bool ReadAudioFile(const std::string& path, AudioData* audio, std::string* error) {
    return ReadWavFile(path, audio, error);
}

bool WriteFloatWavFile(const std::string& path, const AudioData& audio, std::string* error) {
    return WriteWavFile(path, audio, 32, true, error);
}

#endif

}  // namespace aaxhost
