// The host's own WAV codec: RIFF and RF64 files and streams, read and written a block at a time.
//
// The header rules are those of libsndfile, which reads WAV for the Linux build, so that both
// builds take and refuse the same files (a shared table of crafted files checks it):
// - chunks are walked in order, each padded to an even length; "fmt " must come before "data",
//   and a second "fmt " or "data" chunk is refused;
// - the sample width comes from the bits per sample (1-8 bits: unsigned bytes, 9-16: two bytes,
//   17-24: three, 25-32: four; float 32 or 64), and the header's block alignment is ignored;
// - the extensible format names PCM or float by a sub-format GUID with the standard tail; its
//   valid-bits field is ignored;
// - in RF64 the data size comes from the ds64 chunk (which must hold its 28 bytes), or from
//   the data chunk when there is none and it is not 0xFFFFFFFF; a RIFF file ignores ds64;
// - a data chunk that claims more than the file holds is read as far as it goes.
// Beyond libsndfile, the host refuses what it cannot render: more than 64 channels, a sample
// rate outside 1 Hz to 1.536 MHz, RF64 data sizes of 2^63 bytes or more, and compressed
// encodings (A-law, mu-law, ADPCM and the rest).
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <istream>
#include <limits>
#include <ostream>

#include "AudioFile.h"

namespace aaxhost {

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint32_t kLargest32 = 0xFFFFFFFFu;
constexpr uint32_t kDs64BodySize = 28;  // RIFF size, data size, sample count (8 bytes each), table length
// The bytes the extensible format's sub-format GUIDs share after their first two.
constexpr uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

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

// "cannot write NAME: reason", the reason from errno when the system gave one.
bool WriteFailed(std::string* error, const std::string& shownAs) {
    const int code = errno;
    return Fail(error, "cannot write " + shownAs + ": " + (code != 0 ? std::strerror(code) : "the write failed"));
}

// Where the header parser reads from: a file, bytes in memory, or a stream read once.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual size_t Read(uint8_t* out, size_t count) = 0;
    // Streams only go forward.
    virtual bool Seek(uint64_t position) = 0;
    // A stream's size is unknown: the largest value.
    virtual uint64_t Size() const = 0;
    virtual bool Seekable() const { return true; }
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

class StreamSource final : public ByteSource {
public:
    explicit StreamSource(std::istream& in) : in_(in) {}
    size_t Read(uint8_t* out, size_t count) override {
        in_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(count));
        const size_t n = static_cast<size_t>(in_.gcount());
        at_ += n;
        return n;
    }
    bool Seek(uint64_t position) override {
        uint8_t skipped[4096];
        while (at_ < position) {
            if (Read(skipped, static_cast<size_t>(std::min<uint64_t>(sizeof skipped, position - at_))) == 0) return false;
        }
        return at_ == position;
    }
    uint64_t Size() const override { return std::numeric_limits<uint64_t>::max(); }
    bool Seekable() const override { return false; }

private:
    std::istream& in_;
    uint64_t at_ = 0;
};

struct WavLayout {
    bool isFloat = false;
    uint32_t width = 0;  // bytes per sample
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint64_t dataOffset = 0;
    uint64_t declaredBytes = 0;  // as the header announces the data
    uint64_t dataBytes = 0;      // as far as the file holds it
    uint64_t Block() const { return static_cast<uint64_t>(width) * channels; }
    int64_t Frames() const { return static_cast<int64_t>(dataBytes / Block()); }
    int64_t DeclaredFrames() const { return static_cast<int64_t>(declaredBytes / Block()); }
};

std::string Hex16(uint32_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value & 0xFFFFu);
    return text;
}

std::string EncodingName(uint32_t tag) {
    switch (tag) {
        case 2: return "MS ADPCM";
        case 6: return "A-law";
        case 7: return "mu-law";
        case 0x11: return "IMA ADPCM";
        case 0x31: return "GSM 6.10";
        case 0x55: return "MPEG layer 3";
        default: return "format tag " + Hex16(tag);
    }
}

// The "fmt " chunk's body: the encoding, channels and rate.
bool ParseFormat(const uint8_t* fields, uint64_t body, WavLayout* layout, std::string* error) {
    uint32_t tag = Read16(fields);
    layout->channels = Read16(fields + 2);
    layout->rate = Read32(fields + 4);
    const uint32_t bits = Read16(fields + 14);
    if (tag == kFormatExtensible) {
        if (body < 40) return Fail(error, "its extensible format chunk is too short");
        if (std::memcmp(fields + 26, kSubFormatTail, sizeof kSubFormatTail) != 0) {
            return Fail(error, "its extensible format names an unknown sub-format");
        }
        tag = Read16(fields + 24);
    }
    const std::string supported = "; aaxhost reads 8, 16, 24 and 32-bit PCM and 32 and 64-bit float";
    if (tag == kFormatPcm) {
        if (bits == 0 || bits > 32) return Fail(error, "it holds PCM of " + std::to_string(bits) + " bits per sample" + supported);
        layout->width = (bits + 7) / 8;
        layout->isFloat = false;
    } else if (tag == kFormatFloat) {
        if (bits != 32 && bits != 64) return Fail(error, "it holds float of " + std::to_string(bits) + " bits per sample" + supported);
        layout->width = bits / 8;
        layout->isFloat = true;
    } else {
        return Fail(error, "unsupported WAV encoding (" + EncodingName(tag) + ")" + supported);
    }
    const std::string shape = AudioShapeProblem(layout->channels, layout->rate);
    return shape.empty() || Fail(error, "it has " + shape);
}

// Reads the chunk headers up to the data, without reading the data itself (see the rules at the
// top of this file). On a seekable source the chunks after the data are walked as well.
bool ParseWavHeader(ByteSource& source, WavLayout* layout, std::string* error) {
    uint8_t head[12];
    if (source.Read(head, 12) != 12 || (std::memcmp(head, "RIFF", 4) != 0 && std::memcmp(head, "RF64", 4) != 0) ||
        std::memcmp(head + 8, "WAVE", 4) != 0) {
        return Fail(error, "not a WAV file (it does not start with RIFF or RF64 and WAVE)");
    }
    const bool rf64 = std::memcmp(head, "RF64", 4) == 0;
    bool haveFormat = false, haveData = false, haveDs64 = false;
    uint64_t ds64DataSize = 0;
    uint64_t position = 12;
    while (source.Size() - position >= 8) {
        uint8_t chunk[8];
        if (!source.Seek(position) || source.Read(chunk, 8) != 8) break;
        const uint64_t bodyStart = position + 8;
        const uint64_t available = source.Size() - bodyStart;
        uint64_t size = Read32(chunk + 4);
        if (std::memcmp(chunk, "data", 4) == 0) {
            if (haveData) return Fail(error, "it has two data chunks");
            if (!haveFormat) return Fail(error, "its data chunk comes before its format chunk");
            if (rf64 && haveDs64) {
                size = ds64DataSize;
            } else if (rf64 && size == kLargest32) {
                return Fail(error, "it is RF64 without a ds64 chunk to give the data size");
            }
            layout->dataOffset = bodyStart;
            layout->declaredBytes = size;
            layout->dataBytes = std::min(size, available);
            haveData = true;
            if (!source.Seekable()) break;  // a stream's data is read as it comes
        } else if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (haveFormat) return Fail(error, "it has two format chunks");
            if (std::min(size, available) < 16) return Fail(error, "its format chunk is too short");
            uint8_t fields[40] = {};
            const size_t wanted = static_cast<size_t>(std::min<uint64_t>(std::min(size, available), sizeof fields));
            if (source.Read(fields, wanted) != wanted) return Fail(error, "its format chunk is too short");
            if (!ParseFormat(fields, std::min(size, available), layout, error)) return false;
            haveFormat = true;
        } else if (std::memcmp(chunk, "ds64", 4) == 0 && rf64) {
            uint8_t fields[kDs64BodySize];
            if (std::min(size, available) < kDs64BodySize || source.Read(fields, kDs64BodySize) != kDs64BodySize) {
                return Fail(error, "its ds64 chunk is too short");
            }
            ds64DataSize = Read64(fields + 8);
            if (ds64DataSize >= (uint64_t{1} << 63)) return Fail(error, "its ds64 chunk gives an impossible data size");
            haveDs64 = true;
        }
        if (size > available) break;
        position = bodyStart + size + (size & 1);
    }
    if (!haveFormat) return Fail(error, "it has no format chunk");
    if (!haveData) return Fail(error, "it has no data chunk");
    return source.Seek(layout->dataOffset) || Fail(error, "its data cannot be reached");
}

// Interleaved frames from their stored form, scaled as libsndfile scales them.
void DecodeFrames(const uint8_t* raw, int64_t frames, const WavLayout& layout, float* out) {
    const size_t samples = static_cast<size_t>(frames) * layout.channels;
    for (size_t i = 0; i < samples; ++i, raw += layout.width) {
        float value = 0.0f;
        if (layout.isFloat && layout.width == 8) {
            const uint64_t bits = Read64(raw);
            double wide = 0.0;
            std::memcpy(&wide, &bits, sizeof wide);
            value = static_cast<float>(wide);
        } else if (layout.isFloat) {
            const uint32_t bits = Read32(raw);
            std::memcpy(&value, &bits, sizeof value);
        } else if (layout.width == 1) {
            value = static_cast<float>(static_cast<int32_t>(raw[0]) - 128) / 128.0f;
        } else if (layout.width == 2) {
            value = static_cast<float>(static_cast<int16_t>(Read16(raw))) / 32768.0f;
        } else if (layout.width == 3) {
            const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(raw[0]) << 8 | static_cast<uint32_t>(raw[1]) << 16 |
                                                   static_cast<uint32_t>(raw[2]) << 24) >> 8;
            value = static_cast<float>(v) / 8388608.0f;
        } else {
            value = static_cast<float>(static_cast<double>(static_cast<int32_t>(Read32(raw))) / 2147483648.0);
        }
        out[i] = value;
    }
}

uint8_t* PutLittle(uint8_t* p, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) *p++ = static_cast<uint8_t>(v >> (8 * i));
    return p;
}

// One sample for EncodeWav: float as it is, PCM rounded and clipped.
uint8_t* EncodeSample(uint8_t* p, float value, uint32_t bits, bool float32) {
    if (float32) {
        uint32_t raw = 0;
        std::memcpy(&raw, &value, sizeof raw);
        return PutLittle(p, raw, 4);
    }
    const double clamped = std::fmax(-1.0, std::fmin(1.0, static_cast<double>(value)));
    if (bits == 16) return PutLittle(p, static_cast<uint16_t>(static_cast<int16_t>(std::lrint(std::fmin(clamped * 32768.0, 32767.0)))), 2);
    if (bits == 24) return PutLittle(p, static_cast<uint32_t>(static_cast<int32_t>(std::lrint(std::fmin(clamped * 8388608.0, 8388607.0)))), 3);
    return PutLittle(p, static_cast<uint32_t>(static_cast<int32_t>(std::llrint(std::fmin(clamped * 2147483648.0, 2147483647.0)))), 4);
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

std::vector<uint8_t> HeaderFor(const AudioFormat& format, uint64_t frames) {
    const bool isFloat = format.sample == SampleFormat::Float32;
    return BuildHeader(isFloat ? kFormatFloat : kFormatPcm, static_cast<uint32_t>(format.channels),
                       RateOf(format.sampleRate), static_cast<uint32_t>(BytesPerSample(format.sample)) * 8, frames, true);
}

class WavReader final : public AudioReader {
public:
    bool OpenFile(const std::string& path, std::string* error) {
        auto file = std::make_unique<FileSource>();
        if (!file->Open(path)) return Fail(error, "cannot read " + path);
        source_ = std::move(file);
        return Parse(path, error);
    }
    bool OpenStream(std::istream& in, const std::string& shownAs, std::string* error) {
        source_ = std::make_unique<StreamSource>(in);
        return Parse(shownAs, error);
    }
    double SampleRate() const override { return layout_.rate; }
    int32_t Channels() const override { return layout_.channels; }
    int64_t Frames() const override { return layout_.Frames(); }
    int64_t DeclaredFrames() const override { return layout_.DeclaredFrames(); }
    int64_t Read(float* samples, int64_t frames) override {
        const int64_t count = std::min(frames, remaining_);
        if (count <= 0) return 0;
        const size_t bytes = static_cast<size_t>(count * static_cast<int64_t>(layout_.Block()));
        if (raw_.size() < bytes) raw_.resize(bytes);
        const size_t read = source_->Read(raw_.data(), bytes);
        // A file holds what its layout says it does; a stream may end early.
        if (read != bytes && source_->Seekable()) return -1;
        const int64_t whole = static_cast<int64_t>(read / layout_.Block());
        DecodeFrames(raw_.data(), whole, layout_, samples);
        remaining_ = read == bytes ? remaining_ - count : 0;
        return whole;
    }

private:
    bool Parse(const std::string& shownAs, std::string* error) {
        std::string reason;
        if (!ParseWavHeader(*source_, &layout_, &reason)) return Fail(error, shownAs + ": " + reason);
        remaining_ = layout_.Frames();
        return true;
    }

    std::unique_ptr<ByteSource> source_;
    WavLayout layout_;
    int64_t remaining_ = 0;
    std::vector<uint8_t> raw_;
};

// A WAV file whose header is rewritten with the final sizes at Close, or a stream whose header
// announces format.frames up front. Both lay the header out the same way, so a render to a file
// and one to a stream give the same bytes.
class WavWriter final : public AudioWriter {
public:
    WavWriter(const std::string& shownAs, const AudioFormat& format) : shownAs_(shownAs), format_(format), quantizer_(format.sample) {}
    bool OpenFile(const std::string& path, std::string* error) {
        if (!CheckShape(error)) return false;
        file_.open(path, std::ios::binary | std::ios::trunc);
        out_ = &file_;
        rewriteHeader_ = true;
        return PutHeader(0, error);
    }
    bool OpenStream(std::ostream& out, std::string* error) {
        if (!CheckShape(error)) return false;
        out_ = &out;
        return PutHeader(static_cast<uint64_t>(std::max<int64_t>(format_.frames, 0)), error);
    }
    bool Write(const float* samples, int64_t frames, std::string* error) override {
        if (frames <= 0) return true;
        if (!rewriteHeader_ && frames_ + static_cast<uint64_t>(frames) > static_cast<uint64_t>(format_.frames)) {
            return Fail(error, "cannot write " + shownAs_ + ": more frames than its header announces");
        }
        const size_t count = static_cast<size_t>(frames) * static_cast<size_t>(format_.channels);
        const int width = BytesPerSample(format_.sample);
        if (raw_.size() < count * static_cast<size_t>(width)) raw_.resize(count * static_cast<size_t>(width));
        uint8_t* p = raw_.data();
        if (format_.sample == SampleFormat::Float32) {
            for (size_t i = 0; i < count; ++i) p = EncodeSample(p, samples[i], 32, true);
        } else {
            if (codes_.size() < count) codes_.resize(count);
            quantizer_.Convert(samples, codes_.data(), count);
            for (size_t i = 0; i < count; ++i) p = PutLittle(p, static_cast<uint32_t>(codes_[i]) >> (32 - 8 * width), width);
        }
        errno = 0;
        out_->write(reinterpret_cast<const char*>(raw_.data()), static_cast<std::streamsize>(count * static_cast<size_t>(width)));
        if (!*out_) return WriteFailed(error, shownAs_);
        frames_ += static_cast<uint64_t>(frames);
        return true;
    }
    bool Close(std::string* error) override {
        errno = 0;
        if (rewriteHeader_) {
            out_->seekp(0, std::ios::beg);
            if (!PutHeader(frames_, error)) return false;
            file_.close();
            return file_ ? true : WriteFailed(error, shownAs_);
        }
        if (frames_ != static_cast<uint64_t>(format_.frames)) {
            return Fail(error, "cannot write " + shownAs_ + ": fewer frames than its header announces");
        }
        out_->flush();
        return *out_ ? true : WriteFailed(error, shownAs_);
    }

private:
    bool CheckShape(std::string* error) {
        const std::string shape = AudioShapeProblem(format_.channels, std::lround(format_.sampleRate));
        return shape.empty() || Fail(error, "cannot write " + shownAs_ + " with " + shape);
    }
    bool PutHeader(uint64_t frames, std::string* error) {
        const std::vector<uint8_t> header = HeaderFor(format_, frames);
        errno = 0;
        if (*out_) out_->write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
        return *out_ ? true : WriteFailed(error, shownAs_);
    }

    std::string shownAs_;
    AudioFormat format_;
    SampleQuantizer quantizer_;
    std::ofstream file_;
    std::ostream* out_ = nullptr;
    bool rewriteHeader_ = false;
    uint64_t frames_ = 0;
    std::vector<uint8_t> raw_;
    std::vector<int32_t> codes_;
};

}  // namespace

std::string AudioShapeProblem(int64_t channels, int64_t sampleRate) {
    if (channels < 1 || channels > kMostAudioChannels) {
        return std::to_string(channels) + (channels == 1 ? " channel" : " channels") + "; aaxhost handles 1 to " +
               std::to_string(kMostAudioChannels);
    }
    if (sampleRate < 1 || sampleRate > kMostSampleRate) {
        return "a sample rate of " + std::to_string(sampleRate) + " Hz; aaxhost handles 1 to " +
               std::to_string(kMostSampleRate) + " Hz";
    }
    return {};
}

const char* SampleFormatName(SampleFormat format) {
    switch (format) {
        case SampleFormat::Pcm24: return "pcm24";
        case SampleFormat::Pcm16: return "pcm16";
        case SampleFormat::Float32: break;
    }
    return "float32";
}

bool ParseSampleFormat(const std::string& name, SampleFormat* format) {
    for (SampleFormat candidate : {SampleFormat::Float32, SampleFormat::Pcm24, SampleFormat::Pcm16}) {
        if (name == SampleFormatName(candidate)) {
            *format = candidate;
            return true;
        }
    }
    return false;
}

int32_t BytesPerSample(SampleFormat format) {
    return format == SampleFormat::Pcm16 ? 2 : format == SampleFormat::Pcm24 ? 3 : 4;
}

uint32_t SampleQuantizer::NextRandom() {
    uint32_t x = state_;  // xorshift32: cheap, and the same sequence on every platform
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return state_ = x;
}

void SampleQuantizer::Convert(const float* samples, int32_t* out, size_t count) {
    const bool dither = format_ == SampleFormat::Pcm16;
    const double scale = dither ? 32768.0 : 8388608.0;
    const int64_t step = dither ? 65536 : 256;
    constexpr double kUnit = 1.0 / 4294967296.0;
    for (size_t i = 0; i < count; ++i) {
        double x = std::isnan(samples[i]) ? 0.0 : static_cast<double>(samples[i]) * scale;
        // Two uniform values in [0, 1) subtracted: triangular noise of one step peak.
        if (dither) x += static_cast<double>(NextRandom()) * kUnit - static_cast<double>(NextRandom()) * kUnit;
        x = std::clamp(std::floor(x + 0.5), -scale, scale - 1.0);
        out[i] = static_cast<int32_t>(static_cast<int64_t>(x) * step);
    }
}

std::vector<uint8_t> FloatWavHeader(double sampleRate, int32_t channels, uint64_t frames) {
    return BuildHeader(kFormatFloat, static_cast<uint32_t>(channels), RateOf(sampleRate), 32, frames, true);
}

bool LooksLikeWav(const std::vector<uint8_t>& prefix) {
    return prefix.size() >= 12 && (std::memcmp(prefix.data(), "RIFF", 4) == 0 || std::memcmp(prefix.data(), "RF64", 4) == 0) &&
           std::memcmp(prefix.data() + 8, "WAVE", 4) == 0;
}

bool InspectWavFile(const std::string& path, WavFacts* facts, std::string* error) {
    FileSource source;
    if (!source.Open(path)) return Fail(error, "it cannot be opened");
    WavLayout layout;
    if (!ParseWavHeader(source, &layout, error)) return false;
    facts->channels = layout.channels;
    facts->sampleRate = layout.rate;
    facts->frames = layout.Frames();
    facts->declaredFrames = layout.DeclaredFrames();
    return true;
}

std::unique_ptr<AudioReader> OpenWavFile(const std::string& path, std::string* error) {
    auto reader = std::make_unique<WavReader>();
    if (!reader->OpenFile(path, error)) return nullptr;
    return reader;
}

std::unique_ptr<AudioReader> OpenWavStream(std::istream& in, const std::string& shownAs, std::string* error) {
    auto reader = std::make_unique<WavReader>();
    if (!reader->OpenStream(in, shownAs, error)) return nullptr;
    return reader;
}

std::unique_ptr<AudioWriter> CreateWavFile(const std::string& path, const std::string& shownAs,
                                           const AudioFormat& format, std::string* error) {
    auto writer = std::make_unique<WavWriter>(shownAs, format);
    if (!writer->OpenFile(path, error)) return nullptr;
    return writer;
}

std::unique_ptr<AudioWriter> CreateAudioStream(std::ostream& out, const std::string& shownAs,
                                               const AudioFormat& format, std::string* error) {
    auto writer = std::make_unique<WavWriter>(shownAs, format);
    if (!writer->OpenStream(out, error)) return nullptr;
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
