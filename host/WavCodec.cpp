#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "AudioFile.h"

namespace aaxhost {

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr int64_t kMostFrames = int64_t{1} << 31;

uint32_t Read32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// Writes little-endian fields into a buffer sized in advance.
class ByteWriter {
public:
    explicit ByteWriter(size_t size) : bytes_(size, 0) {}
    void Put8(uint32_t v) { bytes_[at_++] = static_cast<uint8_t>(v); }
    void Put16(uint32_t v) {
        Put8(v);
        Put8(v >> 8);
    }
    void Put32(uint32_t v) {
        Put16(v & 0xFFFF);
        Put16(v >> 16);
    }
    void PutTag(const char* tag) {
        for (int i = 0; i < 4; ++i) Put8(static_cast<uint8_t>(tag[i]));
    }
    std::vector<uint8_t> Take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
    size_t at_ = 0;
};

bool Fail(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

}  // namespace

bool DecodeWav(const std::vector<uint8_t>& bytes, AudioData* audio, std::string* error) {
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        return Fail(error, "not a RIFF WAVE file");
    }
    uint16_t format = 0, channels = 0, bits = 0, blockAlign = 0;
    uint32_t rate = 0;
    bool haveFormat = false;
    const uint8_t* data = nullptr;
    size_t dataSize = 0;
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const uint8_t* chunk = bytes.data() + pos;
        const uint32_t size = Read32(chunk + 4);
        const size_t available = bytes.size() - pos - 8;
        const size_t body = size <= available ? size : available;  // a truncated last chunk is read as far as it goes
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (body < 16) return Fail(error, "WAV format chunk too short");
            format = Read16(chunk + 8);
            channels = Read16(chunk + 10);
            rate = Read32(chunk + 12);
            blockAlign = Read16(chunk + 20);
            bits = Read16(chunk + 22);
            if (format == kFormatExtensible) {
                if (body < 40) return Fail(error, "WAV extensible format chunk too short");
                format = Read16(chunk + 8 + 24);  // first two bytes of the sub-format GUID
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            data = chunk + 8;
            dataSize = body;
        }
        pos += 8 + static_cast<size_t>(size) + (size & 1);
        if (size > available) break;
    }
    if (!haveFormat) return Fail(error, "WAV file has no format chunk");
    if (data == nullptr) return Fail(error, "WAV file has no data chunk");
    if (channels == 0 || channels > 64) return Fail(error, "WAV file has " + std::to_string(channels) + " channels");
    if (rate == 0 || rate > 1536000) return Fail(error, "WAV file has sample rate " + std::to_string(rate));
    const bool isFloat = format == kFormatFloat && bits == 32;
    const bool isPcm = format == kFormatPcm && (bits == 16 || bits == 24 || bits == 32);
    if (!isFloat && !isPcm) {
        return Fail(error, "unsupported WAV encoding (format " + std::to_string(format) + ", " + std::to_string(bits) +
                               " bits); use 16/24/32-bit PCM or 32-bit float");
    }
    const size_t bytesPerSample = bits / 8u;
    if (blockAlign != bytesPerSample * channels) return Fail(error, "WAV block alignment does not match its format");
    const int64_t frames = static_cast<int64_t>(dataSize / blockAlign);
    if (frames > kMostFrames) return Fail(error, "WAV file too long");
    audio->sampleRate = rate;
    audio->channels.assign(channels, std::vector<float>(static_cast<size_t>(frames)));
    for (int64_t f = 0; f < frames; ++f) {
        for (uint16_t c = 0; c < channels; ++c) {
            const uint8_t* p = data + static_cast<size_t>(f) * blockAlign + c * bytesPerSample;
            float value = 0.0f;
            if (isFloat) {
                const uint32_t raw = Read32(p);
                std::memcpy(&value, &raw, sizeof value);
            } else if (bits == 16) {
                value = static_cast<float>(static_cast<int16_t>(Read16(p))) / 32768.0f;
            } else if (bits == 24) {
                const int32_t raw = static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                                                         static_cast<uint32_t>(p[2]) << 24) >> 8;
                value = static_cast<float>(raw) / 8388608.0f;
            } else {
                value = static_cast<float>(static_cast<double>(static_cast<int32_t>(Read32(p))) / 2147483648.0);
            }
            audio->channels[c][static_cast<size_t>(f)] = value;
        }
    }
    return true;
}

std::vector<uint8_t> EncodeWav(const AudioData& audio, int32_t bitsPerSample, bool float32) {
    const uint32_t channels = static_cast<uint32_t>(audio.ChannelCount());
    const uint32_t bits = float32 ? 32u : static_cast<uint32_t>(bitsPerSample);
    const uint32_t bytesPerSample = bits / 8;
    const uint64_t frames = static_cast<uint64_t>(audio.Frames());
    const uint32_t dataSize = static_cast<uint32_t>(frames * channels * bytesPerSample);
    const uint32_t formatSize = float32 ? 18 : 16;
    const uint32_t factSize = float32 ? 12 : 0;
    const uint32_t padding = dataSize & 1;
    const uint32_t riffSize = 4 + 8 + formatSize + factSize + 8 + dataSize + padding;
    const uint32_t rate = static_cast<uint32_t>(std::lround(audio.sampleRate));
    ByteWriter out(8 + static_cast<size_t>(riffSize));
    out.PutTag("RIFF");
    out.Put32(riffSize);
    out.PutTag("WAVE");
    out.PutTag("fmt ");
    out.Put32(formatSize);
    out.Put16(float32 ? kFormatFloat : kFormatPcm);
    out.Put16(channels);
    out.Put32(rate);
    out.Put32(rate * channels * bytesPerSample);
    out.Put16(channels * bytesPerSample);
    out.Put16(bits);
    if (float32) {
        out.Put16(0);
        out.PutTag("fact");
        out.Put32(4);
        out.Put32(static_cast<uint32_t>(frames));
    }
    out.PutTag("data");
    out.Put32(dataSize);
    for (uint64_t f = 0; f < frames; ++f) {
        for (uint32_t c = 0; c < channels; ++c) {
            const float value = audio.channels[c][f];
            if (float32) {
                uint32_t raw = 0;
                std::memcpy(&raw, &value, sizeof raw);
                out.Put32(raw);
                continue;
            }
            const double clamped = std::fmax(-1.0, std::fmin(1.0, static_cast<double>(value)));
            if (bits == 16) {
                out.Put16(static_cast<uint16_t>(static_cast<int16_t>(std::lrint(std::fmin(clamped * 32768.0, 32767.0)))));
            } else if (bits == 24) {
                const int32_t v = static_cast<int32_t>(std::lrint(std::fmin(clamped * 8388608.0, 8388607.0)));
                out.Put8(static_cast<uint32_t>(v));
                out.Put8(static_cast<uint32_t>(v >> 8));
                out.Put8(static_cast<uint32_t>(v >> 16));
            } else {
                out.Put32(static_cast<uint32_t>(static_cast<int32_t>(std::llrint(std::fmin(clamped * 2147483648.0, 2147483647.0)))));
            }
        }
    }
    return out.Take();  // the padding byte, if any, is already zero
}

bool ReadWavFile(const std::string& path, AudioData* audio, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail(error, "cannot open " + path);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string reason;
    if (!DecodeWav(bytes, audio, &reason)) return Fail(error, path + ": " + reason);
    return true;
}

bool WriteWavFile(const std::string& path, const AudioData& audio, int32_t bitsPerSample, bool float32,
                  std::string* error) {
    const std::vector<uint8_t> bytes = EncodeWav(audio, bitsPerSample, float32);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return Fail(error, "cannot write " + path);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) return Fail(error, "cannot write " + path);
    return true;
}

}  // namespace aaxhost
