// One table of crafted WAV and RF64 files and what the command makes of each, checked in every
// build: the platform's reader (libsndfile behind the host's header rules on Linux, the host's
// codec on Windows) and the codec itself must both give the table's answer. On Linux the table
// is also held against libsndfile alone, which it follows except where marked.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

#include "AudioFile.h"

#if AAXHOST_HAVE_SNDFILE
#include <sndfile.h>
#endif

using namespace aaxhost;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Le(uint64_t value, int count) {
    Bytes out;
    for (int i = 0; i < count; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return out;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// A chunk with its size (or the one given), padded to an even length unless told not to.
Bytes Chunk(const char* tag, const Bytes& body, int64_t size = -1, bool pad = true) {
    Bytes out(tag, tag + 4);
    out = Join({out, Le(size < 0 ? body.size() : static_cast<uint64_t>(size), 4), body});
    if (pad && body.size() % 2 == 1) out.push_back(0);
    return out;
}

Bytes Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, int32_t align = -1) {
    const uint32_t block = align >= 0 ? static_cast<uint32_t>(align) : channels * bits / 8u;
    return Chunk("fmt ", Join({Le(tag, 2), Le(channels, 2), Le(rate, 4), Le(rate * block, 4), Le(block, 2), Le(bits, 2)}));
}

// The extensible format: container bits, valid bits and the sub-format's tag and GUID tail.
Bytes Extensible(uint16_t subFormat, uint16_t bits, uint16_t validBits, bool standardTail = true, bool complete = true) {
    const Bytes tail = standardTail ? Bytes{0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}
                                    : Bytes(14, 0x11);
    Bytes body = Join({Le(0xFFFE, 2), Le(1, 2), Le(48000, 4), Le(48000u * bits / 8, 4), Le(bits / 8, 2), Le(bits, 2)});
    if (complete) body = Join({body, Le(22, 2), Le(validBits, 2), Le(4, 4), Le(subFormat, 2), tail});
    return Chunk("fmt ", body);
}

Bytes Ds64(uint64_t dataSize, uint32_t bodySize = 28) {
    Bytes body = Join({Le(0, 8), Le(dataSize, 8), Le(100, 8), Le(0, 4)});
    body.resize(bodySize);
    return Chunk("ds64", body);
}

Bytes Wav(std::initializer_list<Bytes> chunks, const char* kind = "RIFF", int64_t riffSize = -1) {
    Bytes body = {'W', 'A', 'V', 'E'};
    for (const Bytes& chunk : chunks) body.insert(body.end(), chunk.begin(), chunk.end());
    return Join({Bytes(kind, kind + 4), Le(riffSize < 0 ? body.size() : static_cast<uint64_t>(riffSize), 4), body});
}

Bytes Rf64(std::initializer_list<Bytes> chunks) { return Wav(chunks, "RF64", 0xFFFFFFFF); }

// Bytes 0, 1, 2, ... and 16-bit samples 0, 100, 200, ...
Bytes Counting(size_t count) {
    Bytes out(count);
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(i);
    return out;
}
Bytes Pcm16(size_t samples) {
    Bytes out;
    for (size_t i = 0; i < samples; ++i) out = Join({out, Le(i * 100, 2)});
    return out;
}
Bytes Repeat(const Bytes& unit, size_t times) {
    Bytes out;
    for (size_t i = 0; i < times; ++i) out.insert(out.end(), unit.begin(), unit.end());
    return out;
}

struct Crafted {
    const char* name;
    Bytes bytes;
    int64_t frames;     // -1: refused
    int64_t declared;   // announced by the header, when more than frames
    double second;      // the second sample, as decoded
    const char* refusal;
    bool libsndfileAlone = false;  // libsndfile by itself takes what the command refuses
};

std::vector<Crafted> Table() {
    const Bytes d = Pcm16(100);  // 200 bytes
    const Bytes f32 = Repeat(Le(0x3F000000, 4), 100), f64 = Repeat(Le(0x3FE0000000000000ull, 8), 25);
    const Bytes ffff = Le(0xFFFFFFFF, 4);
    const double s16 = 100.0 / 32768, s24 = 0x050403 / 8388608.0;
    return {
        // Accepted.
        {"16-bit PCM", Wav({Fmt(1, 1, 48000, 16), Chunk("data", d)}), 100, 0, s16, ""},
        {"8-bit unsigned PCM", Wav({Fmt(1, 1, 48000, 8), Chunk("data", Counting(100))}), 100, 0, -127.0 / 128, ""},
        {"24-bit PCM", Wav({Fmt(1, 1, 48000, 24), Chunk("data", Counting(300))}), 100, 0, s24, ""},
        {"32-bit PCM", Wav({Fmt(1, 1, 48000, 32), Chunk("data", Counting(400))}), 100, 0, 0x07060504 / 2147483648.0, ""},
        {"32-bit float", Wav({Fmt(3, 1, 48000, 32), Chunk("data", f32)}), 100, 0, 0.5, ""},
        {"64-bit float", Wav({Fmt(3, 1, 48000, 64), Chunk("data", f64)}), 25, 0, 0.5, ""},
        {"20 bits in three bytes", Wav({Fmt(1, 1, 48000, 20, 3), Chunk("data", Counting(300))}), 100, 0, s24, ""},
        {"block alignment 0", Wav({Fmt(1, 1, 48000, 16, 0), Chunk("data", d)}), 100, 0, s16, ""},
        {"block alignment that disagrees", Wav({Fmt(1, 1, 48000, 16, 3), Chunk("data", d)}), 100, 0, s16, ""},
        {"extensible PCM", Wav({Extensible(1, 16, 16), Chunk("data", d)}), 100, 0, s16, ""},
        {"extensible float", Wav({Extensible(3, 32, 32), Chunk("data", f32)}), 100, 0, 0.5, ""},
        {"extensible, 20 valid of 24", Wav({Extensible(1, 24, 20), Chunk("data", Counting(300))}), 100, 0, s24, ""},
        {"odd chunk first, padded", Wav({Chunk("junk", {1, 2, 3}), Fmt(1, 1, 48000, 16), Chunk("data", d)}), 100, 0, s16, ""},
        {"wrong RIFF size", Wav({Fmt(1, 1, 48000, 16), Chunk("data", d)}, "RIFF", 20), 100, 0, s16, ""},
        {"odd data size", Wav({Fmt(1, 1, 48000, 16), Chunk("data", Bytes(d.begin(), d.end() - 1))}), 99, 0, s16, ""},
        {"data cut short", Wav({Fmt(1, 1, 48000, 16), Join({Bytes{'d', 'a', 't', 'a'}, Le(400, 4), Bytes(d.begin(), d.begin() + 100)})}),
         50, 200, s16, ""},
        {"64 channels", Wav({Fmt(1, 64, 48000, 16), Chunk("data", Pcm16(128))}), 2, 0, s16, ""},
        {"1536000 Hz", Wav({Fmt(1, 1, 1536000, 16), Chunk("data", d)}), 100, 0, s16, ""},
        {"RF64", Rf64({Ds64(200), Fmt(1, 1, 48000, 16), Chunk("data", d, 0xFFFFFFFF)}), 100, 0, s16, ""},
        {"RF64, ds64 after fmt", Rf64({Fmt(1, 1, 48000, 16), Ds64(200), Chunk("data", d, 0xFFFFFFFF)}), 100, 0, s16, ""},
        {"RF64 without ds64, sized data", Rf64({Fmt(1, 1, 48000, 16), Chunk("data", d)}), 100, 0, s16, ""},
        {"RF64, ds64 smaller than data", Rf64({Ds64(50), Fmt(1, 1, 48000, 16), Chunk("data", d)}), 25, 0, s16, ""},
        {"RF64, ds64 beyond the file", Rf64({Ds64(1000000), Fmt(1, 1, 48000, 16), Chunk("data", d, 0xFFFFFFFF)}), 100, 500000, s16, ""},
        {"RIFF ignores ds64", Wav({Ds64(50), Fmt(1, 1, 48000, 16), Chunk("data", d)}), 100, 0, s16, ""},
        // Refused by both.
        {"not WAVE", Join({Bytes{'R', 'I', 'F', 'F'}, Le(4, 4), Bytes{'A', 'V', 'I', ' '}}), -1, 0, 0, ""},  // words per build
        {"fmt after data", Wav({Chunk("data", d), Fmt(1, 1, 48000, 16)}), -1, 0, 0, "data chunk comes before its format chunk"},
        {"two data chunks", Wav({Fmt(1, 1, 48000, 16), Chunk("data", d), Chunk("data", d)}), -1, 0, 0, "two data chunks"},
        {"two fmt chunks", Wav({Fmt(1, 1, 48000, 16), Fmt(1, 2, 48000, 16), Chunk("data", d)}), -1, 0, 0, "two format chunks"},
        {"no data chunk", Wav({Fmt(1, 1, 48000, 16)}), -1, 0, 0, "no data chunk"},
        {"fmt of 14 bytes", Wav({Chunk("fmt ", Join({Le(1, 2), Le(1, 2), Le(48000, 4), Le(96000, 4), Le(2, 2)})), Chunk("data", d)}),
         -1, 0, 0, "format chunk is too short"},
        {"extensible of 16 bytes", Wav({Extensible(1, 16, 16, true, false), Chunk("data", d)}), -1, 0, 0, "extensible format chunk is too short"},
        {"extensible, unknown GUID", Wav({Extensible(1, 16, 16, false), Chunk("data", d)}), -1, 0, 0, "unknown sub-format"},
        {"0 channels", Wav({Fmt(1, 0, 48000, 16, 2), Chunk("data", d)}), -1, 0, 0, "0 channels; aaxhost handles 1 to 64"},
        {"0 Hz", Wav({Fmt(1, 1, 0, 16), Chunk("data", d)}), -1, 0, 0, "a sample rate of 0 Hz; aaxhost handles 1 to 1536000 Hz"},
        {"40-bit PCM", Wav({Fmt(1, 1, 48000, 40), Chunk("data", Counting(500))}), -1, 0, 0, "PCM of 40 bits per sample"},
        {"16-bit float", Wav({Fmt(3, 1, 48000, 16), Chunk("data", d)}), -1, 0, 0, "float of 16 bits per sample"},
        {"RF64 without ds64, unsized data", Rf64({Fmt(1, 1, 48000, 16), Chunk("data", d, 0xFFFFFFFF)}), -1, 0, 0, "without a ds64 chunk"},
        {"RF64, ds64 size 2^64-1", Rf64({Ds64(~0ull), Fmt(1, 1, 48000, 16), Chunk("data", d, 0xFFFFFFFF)}), -1, 0, 0, "impossible data size"},
        {"RF64, ds64 of 24 bytes", Rf64({Ds64(200, 24), Fmt(1, 1, 48000, 16), Chunk("data", d, 0xFFFFFFFF)}), -1, 0, 0, "ds64 chunk is too short"},
        {"odd chunk first, unpadded", Wav({Chunk("junk", {1, 2, 3}, -1, false), Fmt(1, 1, 48000, 16), Chunk("data", d)}), -1, 0, 0,
         "no format chunk"},
        // Refused by the command, though libsndfile alone reads them.
        {"65 channels", Wav({Fmt(1, 65, 48000, 16), Chunk("data", Pcm16(130))}), -1, 0, 0, "65 channels; aaxhost handles 1 to 64", true},
        {"2000000 Hz", Wav({Fmt(1, 1, 2000000, 16), Chunk("data", d)}), -1, 0, 0, "a sample rate of 2000000 Hz", true},
        {"A-law", Wav({Fmt(6, 1, 48000, 8), Chunk("data", Counting(100))}), -1, 0, 0, "unsupported WAV encoding (A-law)", true},
        {"RF64, ds64 size 2^63+1", Rf64({Ds64((1ull << 63) + 1), Fmt(1, 1, 48000, 16), Chunk("data", d, 0xFFFFFFFF)}), -1, 0, 0,
         "impossible data size", true},
        {"two data chunks, the second empty", Wav({Fmt(1, 1, 48000, 16), Chunk("data", d), Chunk("data", {})}), -1, 0, 0,
         "two data chunks", true},
    };
}

}  // namespace

TEST(WavInputs, EveryBuildTakesAndRefusesTheSameCraftedFiles) {
    const fs::path dir = fs::temp_directory_path() / ("aaxhost-wav-inputs-" + std::to_string(std::random_device{}() % 1000000000u));
    fs::create_directories(dir);
    for (const Crafted& row : Table()) {
        SCOPED_TRACE(row.name);
        const std::string path = (dir / "crafted.wav").string();
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(row.bytes.data()), static_cast<std::streamsize>(row.bytes.size()));
        std::string error, codecError;
        std::unique_ptr<AudioReader> reader = OpenAudioFile(path, &error);
        const std::unique_ptr<AudioReader> codec = OpenWavFile(path, &codecError);
        if (row.frames < 0) {
            EXPECT_FALSE(reader);
            EXPECT_FALSE(codec);
            EXPECT_NE(error.find(path), std::string::npos) << error;
            EXPECT_NE(error.find(row.refusal), std::string::npos) << error;
        } else {
            ASSERT_TRUE(reader) << error;
            ASSERT_TRUE(codec) << codecError;
            EXPECT_EQ(reader->Frames(), row.frames);
            EXPECT_EQ(codec->Frames(), row.frames);
            EXPECT_EQ(reader->DeclaredFrames(), row.declared > 0 ? row.declared : row.frames);
            std::vector<float> samples(static_cast<size_t>(row.frames * reader->Channels()) + 1);
            EXPECT_EQ(reader->Read(samples.data(), row.frames + 1), row.frames);
            EXPECT_NEAR(samples[1], row.second, 1e-6);
        }
#if AAXHOST_HAVE_SNDFILE
        SF_INFO info{};
        SNDFILE* alone = sf_open(path.c_str(), SFM_READ, &info);
        EXPECT_EQ(alone != nullptr, row.frames >= 0 || row.libsndfileAlone) << "libsndfile alone";
        if (alone != nullptr && row.frames >= 0) {
            EXPECT_EQ(info.frames, row.frames) << "libsndfile alone";
        }
        if (alone != nullptr) sf_close(alone);
#endif
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
}
