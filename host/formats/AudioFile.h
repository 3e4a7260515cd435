// Audio files for the command, read and written a block at a time so that memory does not grow
// with the length of the audio.
//
// Reading: WAV and RF64 are accepted and refused by the same rules on every platform (the
// host's own header parser decides; see ParseWavHeader in WavCodec.cpp). On Linux libsndfile
// then decodes them, and also reads its other formats (AIFF, FLAC, Ogg and more); the Windows
// build has no libsndfile and decodes WAV and RF64 with the host's codec. "-" is standard
// input, read as a WAV or RF64 stream by the host's codec on every platform.
//
// Writing: WAV as 32-bit float, 24-bit PCM or 16-bit PCM (with TPDF dither), RF64 once the data
// passes 4 GiB. Linux files go through libsndfile, everything else through the host's codec; the
// samples are converted by the same code either way, and no file carries a timestamp, so the
// same render gives the same bytes.
#pragma once

#include <cstdint>
#include <iosfwd>
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

// The shapes the command handles, whatever the file says.
constexpr int32_t kMostAudioChannels = 64;
constexpr int64_t kMostSampleRate = 1536000;
// "" when channels and rate are within the limits, else the reason, naming the value and the
// limit ("65 channels; aaxhost reads at most 64").
std::string AudioShapeProblem(int64_t channels, int64_t sampleRate);

// [main] Audio read in order, a block at a time.
class AudioReader {
public:
    virtual ~AudioReader() = default;
    virtual double SampleRate() const = 0;
    virtual int32_t Channels() const = 0;
    // The number of frames the file holds.
    virtual int64_t Frames() const = 0;
    // The number of frames its header announces: more than Frames() for a file cut short.
    virtual int64_t DeclaredFrames() const { return Frames(); }
    // Reads up to frames frames, interleaved, into samples (room for frames x Channels()).
    // Returns the number read: fewer only at the end. -1 when the file cannot be read.
    virtual int64_t Read(float* samples, int64_t frames) = 0;
};

// How samples are stored in a written file.
enum class SampleFormat { Float32, Pcm24, Pcm16 };
// "float32", "pcm24", "pcm16" and back; false for any other name.
const char* SampleFormatName(SampleFormat format);
bool ParseSampleFormat(const std::string& name, SampleFormat* format);
int32_t BytesPerSample(SampleFormat format);

// [main] Audio written in order, a block at a time. Nothing is complete until Close succeeds.
class AudioWriter {
public:
    virtual ~AudioWriter() = default;
    // samples holds frames x the channel count, interleaved.
    virtual bool Write(const float* samples, int64_t frames, std::string* error) = 0;
    // Finishes the file (its header gets the final sizes). False when any write failed.
    virtual bool Close(std::string* error) = 0;
};

// What a writer writes. frames is the length to come: where the header cannot change later
// (libsndfile's choice between RIFF and RF64, a stream) it is decided from it, and writing more
// is refused; a stream must get exactly that many.
struct AudioFormat {
    double sampleRate = 48000.0;
    int32_t channels = 1;
    int64_t frames = 0;
    SampleFormat sample = SampleFormat::Float32;
};

// Converts float samples to PCM, the same way for every writer: scaled to full scale (1.0 is
// the largest code), 16-bit with TPDF dither of one step peak (from a fixed seed, so renders
// are reproducible), 24-bit rounded; clipped at full scale; NaN becomes 0 and infinities full
// scale. The result is left-aligned in 32 bits.
class SampleQuantizer {
public:
    explicit SampleQuantizer(SampleFormat format) : format_(format) {}
    void Convert(const float* samples, int32_t* out, size_t count);

private:
    uint32_t NextRandom();
    SampleFormat format_;
    uint32_t state_ = 0x2545F491u;
};

// [main] The platform's reader (see the top of this file); "-" reads standard input. Null with
// a one-line reason, naming the file, on failure.
std::unique_ptr<AudioReader> OpenAudioFile(const std::string& path, std::string* error);
// [main] The platform's writer for a file at path; messages name shownAs (the user's name for
// the output, when path is a temporary file beside it).
std::unique_ptr<AudioWriter> CreateAudioFile(const std::string& path, const std::string& shownAs,
                                             const AudioFormat& format, std::string* error);
// [main] A WAV stream of exactly format.frames frames on out (standard output), its header
// written first. Messages name shownAs.
std::unique_ptr<AudioWriter> CreateAudioStream(std::ostream& out, const std::string& shownAs,
                                               const AudioFormat& format, std::string* error);

// [main] The host's WAV codec, available on every platform.
std::unique_ptr<AudioReader> OpenWavFile(const std::string& path, std::string* error);
// A WAV or RF64 stream read from in once, front to back; messages name shownAs.
std::unique_ptr<AudioReader> OpenWavStream(std::istream& in, const std::string& shownAs, std::string* error);
std::unique_ptr<AudioWriter> CreateWavFile(const std::string& path, const std::string& shownAs,
                                           const AudioFormat& format, std::string* error);
// The header the codec writes before frames of 32-bit float data: plain RIFF with a reserved
// chunk while the sizes fit 32 bits, RF64 with the sizes in its ds64 chunk beyond. Either way
// it is kWavStreamHeaderSize bytes, so a finished file's header replaces its placeholder.
constexpr size_t kWavStreamHeaderSize = 94;
std::vector<uint8_t> FloatWavHeader(double sampleRate, int32_t channels, uint64_t frames);

// What a WAV or RF64 header says, as the codec reads it.
struct WavFacts {
    int32_t channels = 0;
    int64_t sampleRate = 0;
    int64_t frames = 0;          // in the file
    int64_t declaredFrames = 0;  // announced by the header
};
// [main] Whether bytes start like a WAV or RF64 file ("RIFF" or "RF64", then "WAVE").
bool LooksLikeWav(const std::vector<uint8_t>& prefix);
// [main] The header of a WAV or RF64 file, checked without reading the audio. False with the
// reason (not naming the file) when the codec refuses it.
bool InspectWavFile(const std::string& path, WavFacts* facts, std::string* error);

// [main] Whole files in memory, through the same codec.
bool DecodeWav(const std::vector<uint8_t>& bytes, AudioData* audio, std::string* error);
// bitsPerSample 16, 24 or 32 gives PCM; float32 true gives IEEE float (bitsPerSample ignored).
// PCM is rounded, without dither.
std::vector<uint8_t> EncodeWav(const AudioData& audio, int32_t bitsPerSample, bool float32);
bool ReadWavFile(const std::string& path, AudioData* audio, std::string* error);
bool WriteWavFile(const std::string& path, const AudioData& audio, int32_t bitsPerSample, bool float32,
                  std::string* error);

}  // namespace aaxhost
