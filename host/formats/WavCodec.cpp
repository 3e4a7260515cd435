// The host's own WAV codec: RIFF and RF64 files, read and written as streams.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>

#include "AudioFile.h"

namespace aaxhost {

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint32_t kLargest32 = 0xFFFFFFFFu;
constexpr uint32_t kDs64BodySize = 28;  // RIFF size, data size, sample count (8 bytes each), table length

uint32_t Read32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
uint64_t Read64(const uint8_t* p) { return static_cast<uint64_t>(Read32(p)) | static_cast<uint64_t>(Read32(p + 4)) << 32; }
uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// Little-endian fields into a header of known largest size.
class HeaderWriter {
public:
    void Put8(uint32_t v) {
        if (at_ < sizeof bytes_) bytes_[at_++] = static_cast<uint8_t>(v);
    }
    void Put16(uint32_t v) {
        Put8(v);
        Put8(v >> 8);
    }
    void Put32(uint32_t v) {
        Put16(v & 0xFFFF);
        Put16(v >> 16);
    }
    void Put64(uint64_t v) {
        Put32(static_cast<uint32_t>(v));
        Put32(static_cast<uint32_t>(v >> 32));
    }
    void PutTag(const char* tag) {
        for (int i = 0; i < 4; ++i) Put8(static_cast<uint8_t>(tag[i]));
    }
    void PutZeros(size_t count) {
        for (size_t i = 0; i < count; ++i) Put8(0);
    }
    std::vector<uint8_t> Bytes() const { return std::vector<uint8_t>(bytes_, bytes_ + at_); }

private:
    uint8_t bytes_[128] = {};
    size_t at_ = 0;
};

bool Fail(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

// Where the header parser reads from: a file or bytes in memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual size_t Read(uint8_t* out, size_t count) = 0;
    virtual bool Seek(uint64_t position) = 0;
    virtual uint64_t Size() const = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    size_t Read(uint8_t* out, size_t count) override {
        const size_t n = std::min(count, bytes_.size() - at_);
        std::memcpy(out, bytes_.data() + at_, n);
        at_ += n;
        return n;
    }
    bool Seek(uint64_t position) override {
        if (position > bytes_.size()) return false;
        at_ = static_cast<size_t>(position);
        return true;
    }
    uint64_t Size() const override { return bytes_.size(); }

private:
    const std::vector<uint8_t>& bytes_;
    size_t at_ = 0;
};

class FileSource final : public ByteSource {
public:
    bool Open(const std::string& path) {
        in_.open(path, std::ios::binary);
        if (!in_) return false;
        in_.seekg(0, std::ios::end);
        const std::streamoff end = in_.tellg();
        in_.seekg(0, std::ios::beg);
        size_ = end > 0 ? static_cast<uint64_t>(end) : 0;
        return static_cast<bool>(in_);
    }
    size_t Read(uint8_t* out, size_t count) override {
        in_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(count));
        const std::streamsize n = in_.gcount();
        if (!in_) in_.clear();
        return static_cast<size_t>(n);
    }
    bool Seek(uint64_t position) override {
        if (position > size_) return false;
        in_.seekg(static_cast<std::streamoff>(position), std::ios::beg);
        return static_cast<bool>(in_);
    }
    uint64_t Size() const override { return size_; }

private:
    std::ifstream in_;
    uint64_t size_ = 0;
};

struct WavLayout {
    uint16_t format = 0;  // kFormatPcm or kFormatFloat
    uint16_t channels = 0;
    uint16_t bits = 0;
    uint16_t blockAlign = 0;
    uint32_t rate = 0;
    uint64_t dataOffset = 0;
    uint64_t dataBytes = 0;  // as far as the file holds it
    int64_t Frames() const { return static_cast<int64_t>(dataBytes / blockAlign); }
};

// Reads the chunk headers up to the data, without reading the data itself. A chunk that claims
// more than the file holds is taken as far as it goes.
bool ParseWavHeader(ByteSource& source, WavLayout* layout, std::string* error) {
    uint8_t head[12];
    if (source.Read(head, 12) != 12 || (std::memcmp(head, "RIFF", 4) != 0 && std::memcmp(head, "RF64", 4) != 0) ||
        std::memcmp(head + 8, "WAVE", 4) != 0) {
        return Fail(error, "not a RIFF WAVE file");
    }
    bool haveFormat = false, haveData = false;
    uint64_t ds64DataSize = 0;
    bool haveDs64 = false;
    uint64_t position = 12;
    while (source.Size() - position >= 8) {
        uint8_t chunk[8];
        if (!source.Seek(position) || source.Read(chunk, 8) != 8) break;
        const uint64_t bodyStart = position + 8;
        const uint64_t available = source.Size() - bodyStart;
        uint64_t size = Read32(chunk + 4);
        if (std::memcmp(chunk, "data", 4) == 0 && size == kLargest32 && haveDs64) size = ds64DataSize;
        const uint64_t body = std::min(size, available);
        if (std::memcmp(chunk, "ds64", 4) == 0) {
            uint8_t fields[24];
            if (body < 24 || source.Read(fields, 24) != 24) return Fail(error, "WAV ds64 chunk too short");
            ds64DataSize = Read64(fields + 8);
            haveDs64 = true;
        } else if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (body < 16) return Fail(error, "WAV format chunk too short");
            uint8_t fields[40] = {};
            const size_t wanted = static_cast<size_t>(std::min<uint64_t>(body, sizeof fields));
            if (source.Read(fields, wanted) != wanted) return Fail(error, "WAV format chunk too short");
            layout->format = Read16(fields);
            layout->channels = Read16(fields + 2);
            layout->rate = Read32(fields + 4);
            layout->blockAlign = Read16(fields + 12);
            layout->bits = Read16(fields + 14);
            if (layout->format == kFormatExtensible) {
                if (body < 40) return Fail(error, "WAV extensible format chunk too short");
                layout->format = Read16(fields + 24);  // first two bytes of the sub-format GUID
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0 && !haveData) {
            layout->dataOffset = bodyStart;
            layout->dataBytes = body;
            haveData = true;
        }
        if (haveFormat && haveData) break;
        if (size > available) break;
        position = bodyStart + size + (size & 1);
    }
    if (!haveFormat) return Fail(error, "WAV file has no format chunk");
    if (!haveData) return Fail(error, "WAV file has no data chunk");
    if (layout->channels == 0 || layout->channels > 64) {
        return Fail(error, "WAV file has " + std::to_string(layout->channels) + " channels");
    }
    if (layout->rate == 0 || layout->rate > 1536000) {
        return Fail(error, "WAV file has sample rate " + std::to_string(layout->rate));
    }
    const bool isFloat = layout->format == kFormatFloat && layout->bits == 32;
    const bool isPcm = layout->format == kFormatPcm && (layout->bits == 16 || layout->bits == 24 || layout->bits == 32);
    if (!isFloat && !isPcm) {
        return Fail(error, "unsupported WAV encoding (format " + std::to_string(layout->format) + ", " +
                               std::to_string(layout->bits) + " bits); use 16/24/32-bit PCM or 32-bit float");
    }
    if (layout->blockAlign != layout->bits / 8u * layout->channels) {
        return Fail(error, "WAV block alignment does not match its format");
    }
    return source.Seek(layout->dataOffset) || Fail(error, "cannot reach the WAV data");
}

// Interleaved frames from their stored form.
void DecodeFrames(const uint8_t* raw, int64_t frames, const WavLayout& layout, float* out) {
    const size_t samples = static_cast<size_t>(frames) * layout.channels;
    const size_t width = layout.bits / 8u;
    for (size_t i = 0; i < samples; ++i, raw += width) {
        float value = 0.0f;
        if (layout.format == kFormatFloat) {
            const uint32_t bits = Read32(raw);
            std::memcpy(&value, &bits, sizeof value);
        } else if (layout.bits == 16) {
            value = static_cast<float>(static_cast<int16_t>(Read16(raw))) / 32768.0f;
        } else if (layout.bits == 24) {
            const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(raw[0]) << 8 | static_cast<uint32_t>(raw[1]) << 16 |
                                                   static_cast<uint32_t>(raw[2]) << 24) >> 8;
            value = static_cast<float>(v) / 8388608.0f;
        } else {
            value = static_cast<float>(static_cast<double>(static_cast<int32_t>(Read32(raw))) / 2147483648.0);
        }
        out[i] = value;
    }
}

uint8_t* EncodeSample(uint8_t* p, float value, uint32_t bits, bool float32) {
    auto put = [&p](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) *p++ = static_cast<uint8_t>(v >> (8 * i));
    };
    if (float32) {
        uint32_t raw = 0;
        std::memcpy(&raw, &value, sizeof raw);
        put(raw, 4);
        return p;
    }
    const double clamped = std::fmax(-1.0, std::fmin(1.0, static_cast<double>(value)));
    if (bits == 16) {
        put(static_cast<uint16_t>(static_cast<int16_t>(std::lrint(std::fmin(clamped * 32768.0, 32767.0)))), 2);
    } else if (bits == 24) {
        put(static_cast<uint32_t>(static_cast<int32_t>(std::lrint(std::fmin(clamped * 8388608.0, 8388607.0)))), 3);
    } else {
        put(static_cast<uint32_t>(static_cast<int32_t>(std::llrint(std::fmin(clamped * 2147483648.0, 2147483647.0)))), 4);
    }
    return p;
}

// The header for frames of data. reserve64 keeps room for a ds64 chunk (as "JUNK") in a plain
// file, so the same bytes can later become RF64 in place; data whose sizes do not fit 32 bits
// always get RF64.
std::vector<uint8_t> BuildHeader(uint16_t format, uint32_t channels, uint32_t rate, uint32_t bits, uint64_t frames,
                                 bool reserve64) {
    const bool isFloat = format == kFormatFloat;
    const uint32_t blockAlign = channels * (bits / 8);
    const uint64_t dataBytes = frames * blockAlign;
    const uint32_t formatSize = isFloat ? 18 : 16;
    const uint64_t extraChunk = 8 + kDs64BodySize;
    const uint64_t plainRiff = 4 + (8 + formatSize) + (isFloat ? 12 : 0) + 8 + dataBytes + (dataBytes & 1);
    const bool large = plainRiff + (reserve64 ? extraChunk : 0) > kLargest32;
    const uint64_t riffSize = plainRiff + (reserve64 || large ? extraChunk : 0);
    HeaderWriter out;
    out.PutTag(large ? "RF64" : "RIFF");
    out.Put32(large ? kLargest32 : static_cast<uint32_t>(riffSize));
    out.PutTag("WAVE");
    if (large) {
        out.PutTag("ds64");
        out.Put32(kDs64BodySize);
        out.Put64(riffSize);
        out.Put64(dataBytes);
        out.Put64(frames);
        out.Put32(0);  // no table
    } else if (reserve64) {
        out.PutTag("JUNK");
        out.Put32(kDs64BodySize);
        out.PutZeros(kDs64BodySize);
    }
    out.PutTag("fmt ");
    out.Put32(formatSize);
    out.Put16(format);
    out.Put16(channels);
    out.Put32(rate);
    out.Put32(rate * blockAlign);
    out.Put16(blockAlign);
    out.Put16(bits);
    if (isFloat) {
        out.Put16(0);
        out.PutTag("fact");
        out.Put32(4);
        out.Put32(large || frames > kLargest32 ? kLargest32 : static_cast<uint32_t>(frames));
    }
    out.PutTag("data");
    out.Put32(large ? kLargest32 : static_cast<uint32_t>(dataBytes));
    return out.Bytes();
}

uint32_t RateOf(double sampleRate) { return static_cast<uint32_t>(std::lround(sampleRate)); }

class WavFileReader final : public AudioReader {
public:
    bool Open(const std::string& path, std::string* error) {
        if (!source_.Open(path)) return Fail(error, "cannot read " + path);
        std::string reason;
        if (!ParseWavHeader(source_, &layout_, &reason)) return Fail(error, path + ": " + reason);
        remaining_ = layout_.Frames();
        return true;
    }
    double SampleRate() const override { return layout_.rate; }
    int32_t Channels() const override { return layout_.channels; }
    int64_t Frames() const override { return layout_.Frames(); }
    int64_t Read(float* samples, int64_t frames) override {
        const int64_t count = std::min(frames, remaining_);
        if (count <= 0) return 0;
        const size_t bytes = static_cast<size_t>(count) * layout_.blockAlign;
        if (raw_.size() < bytes) raw_.resize(bytes);
        if (source_.Read(raw_.data(), bytes) != bytes) return -1;
        DecodeFrames(raw_.data(), count, layout_, samples);
        remaining_ -= count;
        return count;
    }

private:
    FileSource source_;
    WavLayout layout_;
    int64_t remaining_ = 0;
    std::vector<uint8_t> raw_;
};

class WavFileWriter final : public AudioWriter {
public:
    bool Open(const std::string& path, double sampleRate, int32_t channels, std::string* error) {
        if (channels < 1 || channels > 64) return Fail(error, "cannot write " + std::to_string(channels) + " channels");
        path_ = path;
        rate_ = RateOf(sampleRate);
        channels_ = static_cast<uint32_t>(channels);
        out_.open(path, std::ios::binary | std::ios::trunc);
        const std::vector<uint8_t> placeholder = BuildHeader(kFormatFloat, channels_, rate_, 32, 0, true);
        out_.write(reinterpret_cast<const char*>(placeholder.data()), static_cast<std::streamsize>(placeholder.size()));
        if (!out_) return Fail(error, "cannot write " + path);
        return true;
    }
    bool Write(const float* samples, int64_t frames, std::string* error) override {
        if (frames <= 0) return true;
        const size_t count = static_cast<size_t>(frames) * channels_;
        if (raw_.size() < count * 4) raw_.resize(count * 4);
        uint8_t* p = raw_.data();
        for (size_t i = 0; i < count; ++i) p = EncodeSample(p, samples[i], 32, true);
        out_.write(reinterpret_cast<const char*>(raw_.data()), static_cast<std::streamsize>(count * 4));
        if (!out_) return Fail(error, "cannot write all of " + path_);
        frames_ += static_cast<uint64_t>(frames);
        return true;
    }
    bool Close(std::string* error) override {
        const std::vector<uint8_t> header = BuildHeader(kFormatFloat, channels_, rate_, 32, frames_, true);
        out_.seekp(0, std::ios::beg);
        out_.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
        out_.close();
        if (!out_) return Fail(error, "cannot write all of " + path_);
        return true;
    }

private:
    std::ofstream out_;
    std::string path_;
    uint32_t rate_ = 0;
    uint32_t channels_ = 0;
    uint64_t frames_ = 0;
    std::vector<uint8_t> raw_;
};

}  // namespace

std::vector<uint8_t> FloatWavHeader(double sampleRate, int32_t channels, uint64_t frames) {
    return BuildHeader(kFormatFloat, static_cast<uint32_t>(channels), RateOf(sampleRate), 32, frames, true);
}

std::unique_ptr<AudioReader> OpenWavFile(const std::string& path, std::string* error) {
    auto reader = std::make_unique<WavFileReader>();
    if (!reader->Open(path, error)) return nullptr;
    return reader;
}

std::unique_ptr<AudioWriter> CreateWavFile(const std::string& path, double sampleRate, int32_t channels,
                                           std::string* error) {
    auto writer = std::make_unique<WavFileWriter>();
    if (!writer->Open(path, sampleRate, channels, error)) return nullptr;
    return writer;
}

bool DecodeWav(const std::vector<uint8_t>& bytes, AudioData* audio, std::string* error) {
    MemorySource source(bytes);
    WavLayout layout;
    if (!ParseWavHeader(source, &layout, error)) return false;
    const int64_t frames = layout.Frames();
    std::vector<float> interleaved(static_cast<size_t>(frames) * layout.channels);
    DecodeFrames(bytes.data() + layout.dataOffset, frames, layout, interleaved.data());
    audio->sampleRate = layout.rate;
    audio->channels.assign(layout.channels, std::vector<float>(static_cast<size_t>(frames)));
    for (size_t f = 0; f < static_cast<size_t>(frames); ++f) {
        for (size_t c = 0; c < layout.channels; ++c) audio->channels[c][f] = interleaved[f * layout.channels + c];
    }
    return true;
}

std::vector<uint8_t> EncodeWav(const AudioData& audio, int32_t bitsPerSample, bool float32) {
    const uint32_t channels = static_cast<uint32_t>(audio.ChannelCount());
    const uint32_t bits = float32 ? 32u : static_cast<uint32_t>(bitsPerSample);
    const uint64_t frames = static_cast<uint64_t>(audio.Frames());
    std::vector<uint8_t> out =
        BuildHeader(float32 ? kFormatFloat : kFormatPcm, channels, RateOf(audio.sampleRate), bits, frames, false);
    const uint64_t dataBytes = frames * channels * (bits / 8);
    const size_t header = out.size();
    out.resize(header + static_cast<size_t>(dataBytes + (dataBytes & 1)), 0);  // the padding byte stays zero
    uint8_t* p = out.data() + header;
    for (uint64_t f = 0; f < frames; ++f) {
        for (uint32_t c = 0; c < channels; ++c) p = EncodeSample(p, audio.channels[c][f], bits, float32);
    }
    return out;
}

bool ReadWavFile(const std::string& path, AudioData* audio, std::string* error) {
    std::unique_ptr<AudioReader> reader = OpenWavFile(path, error);
    if (!reader) return false;
    const int64_t frames = reader->Frames();
    const size_t channels = static_cast<size_t>(reader->Channels());
    std::vector<float> interleaved(static_cast<size_t>(frames) * channels);
    if (reader->Read(interleaved.data(), frames) != frames) return Fail(error, "cannot read all of " + path);
    audio->sampleRate = reader->SampleRate();
    audio->channels.assign(channels, std::vector<float>(static_cast<size_t>(frames)));
    for (size_t f = 0; f < static_cast<size_t>(frames); ++f) {
        for (size_t c = 0; c < channels; ++c) audio->channels[c][f] = interleaved[f * channels + c];
    }
    return true;
}

bool WriteWavFile(const std::string& path, const AudioData& audio, int32_t bitsPerSample, bool float32,
                  std::string* error) {
    const std::vector<uint8_t> bytes = EncodeWav(audio, bitsPerSample, float32);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return Fail(error, "cannot write " + path);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) return Fail(error, "cannot write " + path);
    return true;
}

}  // namespace aaxhost
