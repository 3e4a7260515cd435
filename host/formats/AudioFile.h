// Audio files for the command, read and written a block at a time so that memory does not grow
// with the length of the audio. On Linux libsndfile reads any file it knows and writes 32-bit
// float WAV (RF64 once the data passes 4 GiB). Where it is missing (the Windows build) the
// host's own WAV codec does the same: it reads 16, 24 and 32-bit PCM and 32-bit float, plain or
// extensible format, RIFF or RF64, and writes 32-bit float WAV, switching to RF64 past 4 GiB.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace aaxhost {

struct AudioData {
    double sampleRate = 48000.0;
    std::vector<std::vector<float>> channels;  // one vector per channel, equal lengths

    int32_t ChannelCount() const { return static_cast<int32_t>(channels.size()); }
    int64_t Frames() const { return channels.empty() ? 0 : static_cast<int64_t>(channels[0].size()); }
};

// [main] Audio read in order, a block at a time.
class AudioReader {
public:
    virtual ~AudioReader() = default;
    virtual double SampleRate() const = 0;
    virtual int32_t Channels() const = 0;
    // The number of frames the file holds.
    virtual int64_t Frames() const = 0;
    // Reads up to frames frames, interleaved, into samples (room for frames x Channels()).
    // Returns the number read: fewer only at the end. -1 when the file cannot be read.
    virtual int64_t Read(float* samples, int64_t frames) = 0;
};

// [main] Audio written in order, a block at a time. Nothing is complete until Close succeeds.
class AudioWriter {
public:
    virtual ~AudioWriter() = default;
    // samples holds frames x the channel count, interleaved.
    virtual bool Write(const float* samples, int64_t frames, std::string* error) = 0;
    // Finishes the file (its header gets the final sizes). False when any write failed.
    virtual bool Close(std::string* error) = 0;
};

// [main] The platform's reader and writer (libsndfile where available, else the WAV codec).
// Null with a one-line reason on failure. The writer writes 32-bit float WAV; frames is the
// length to come, which decides between a plain RIFF header and RF64 up front where the
// header cannot change kind later (libsndfile). Writing more than that is refused there.
std::unique_ptr<AudioReader> OpenAudioFile(const std::string& path, std::string* error);
std::unique_ptr<AudioWriter> CreateFloatWavFile(const std::string& path, double sampleRate, int32_t channels,
                                                int64_t frames, std::string* error);

// [main] The host's WAV codec, available on every platform.
std::unique_ptr<AudioReader> OpenWavFile(const std::string& path, std::string* error);
std::unique_ptr<AudioWriter> CreateWavFile(const std::string& path, double sampleRate, int32_t channels,
                                           std::string* error);
// The header the codec writes before frames of 32-bit float data: plain RIFF with a reserved
// chunk while the sizes fit 32 bits, RF64 with the sizes in its ds64 chunk beyond. Either way
// it is kWavStreamHeaderSize bytes, so a finished file's header replaces its placeholder.
constexpr size_t kWavStreamHeaderSize = 94;
std::vector<uint8_t> FloatWavHeader(double sampleRate, int32_t channels, uint64_t frames);

// [main] Whole files in memory, through the same codec.
bool DecodeWav(const std::vector<uint8_t>& bytes, AudioData* audio, std::string* error);
// bitsPerSample 16, 24 or 32 gives PCM; float32 true gives IEEE float (bitsPerSample ignored).
std::vector<uint8_t> EncodeWav(const AudioData& audio, int32_t bitsPerSample, bool float32);
bool ReadWavFile(const std::string& path, AudioData* audio, std::string* error);
bool WriteWavFile(const std::string& path, const AudioData& audio, int32_t bitsPerSample, bool float32,
                  std::string* error);

}  // namespace aaxhost
