// Audio files for the command: read any file the platform's reader knows, write 32-bit float WAV.
// On Linux libsndfile does the work; where it is missing (the Windows build) the host's own WAV
// codec does: 16, 24 and 32-bit PCM and 32-bit float, plain or extensible format.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace aaxhost {

struct AudioData {
    double sampleRate = 48000.0;
    std::vector<std::vector<float>> channels;  // one vector per channel, equal lengths

    int32_t ChannelCount() const { return static_cast<int32_t>(channels.size()); }
    int64_t Frames() const { return channels.empty() ? 0 : static_cast<int64_t>(channels[0].size()); }
};

// [main] False with a one-line reason on failure.
bool ReadAudioFile(const std::string& path, AudioData* audio, std::string* error);
bool WriteFloatWavFile(const std::string& path, const AudioData& audio, std::string* error);

// [main] The host's WAV codec.
bool DecodeWav(const std::vector<uint8_t>& bytes, AudioData* audio, std::string* error);
// bitsPerSample 16, 24 or 32 gives PCM; float32 true gives IEEE float (bitsPerSample ignored).
std::vector<uint8_t> EncodeWav(const AudioData& audio, int32_t bitsPerSample, bool float32);
bool ReadWavFile(const std::string& path, AudioData* audio, std::string* error);
bool WriteWavFile(const std::string& path, const AudioData& audio, int32_t bitsPerSample, bool float32,
                  std::string* error);

}  // namespace aaxhost
