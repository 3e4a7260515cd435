// The command's file formats: WAV (the host's own codec), state files, MIDI files and text, and
// automation.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "AudioFile.h"
#include "Automation.h"
#include "MidiText.h"
#include "StateFile.h"

using namespace aaxhost;
namespace fs = std::filesystem;

namespace {

AudioData Ramp(int32_t channels, int32_t frames, double rate) {
    AudioData audio;
    audio.sampleRate = rate;
    for (int32_t c = 0; c < channels; ++c) {
        std::vector<float> channel(static_cast<size_t>(frames));
        for (int32_t f = 0; f < frames; ++f) channel[static_cast<size_t>(f)] = (f - frames / 2) / static_cast<float>(frames) * (c + 1) * 0.9f;
        audio.channels.push_back(channel);
    }
    return audio;
}

void Put16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

TEST(WavCodec, RoundTripsEveryEncodingWithinItsResolution) {
    const AudioData source = Ramp(2, 1001, 44100.0);
    const struct {
        int32_t bits;
        bool isFloat;
        double tolerance;
    } encodings[] = {{16, false, 1.0 / 32768}, {24, false, 1.0 / 8388608}, {32, false, 1e-7}, {32, true, 0.0}};
    for (const auto& encoding : encodings) {
        AudioData decoded;
        std::string error;
        ASSERT_TRUE(DecodeWav(EncodeWav(source, encoding.bits, encoding.isFloat), &decoded, &error)) << error;
        EXPECT_EQ(decoded.sampleRate, 44100.0);
        ASSERT_EQ(decoded.ChannelCount(), 2);
        ASSERT_EQ(decoded.Frames(), 1001);
        for (int c = 0; c < 2; ++c) {
            for (size_t f = 0; f < 1001; f += 97) {
                EXPECT_NEAR(decoded.channels[static_cast<size_t>(c)][f], source.channels[static_cast<size_t>(c)][f], encoding.tolerance)
                    << encoding.bits << " bits, frame " << f;
            }
        }
    }
    // Full scale and beyond clip to the PCM range instead of wrapping.
    AudioData loud;
    loud.channels = {{1.5f, -1.5f}};
    AudioData decoded;
    ASSERT_TRUE(DecodeWav(EncodeWav(loud, 16, false), &decoded, nullptr));
    EXPECT_NEAR(decoded.channels[0][0], 1.0f, 1e-4);
    EXPECT_EQ(decoded.channels[0][1], -1.0f);
}

TEST(WavCodec, ReadsExtensibleFilesAndRejectsMalformedOnes) {
    std::vector<uint8_t> plain = EncodeWav(Ramp(1, 10, 48000.0), 16, false);
    // Rewrite the 16-byte format chunk as a 40-byte extensible one, PCM sub-format.
    std::vector<uint8_t> extensible(plain.begin(), plain.begin() + 20);
    extensible[16] = 40;
    std::vector<uint8_t> format(plain.begin() + 20, plain.begin() + 36);
    format.resize(40, 0);
    Put16(format, 0, 0xFFFE);
    Put16(format, 16, 22);
    Put16(format, 24, 1);  // the sub-format GUID starts with the format tag
    extensible.insert(extensible.end(), format.begin(), format.end());
    extensible.insert(extensible.end(), plain.begin() + 36, plain.end());
    AudioData decoded;
    std::string error;
    ASSERT_TRUE(DecodeWav(extensible, &decoded, &error)) << error;
    EXPECT_EQ(decoded.Frames(), 10);

    EXPECT_FALSE(DecodeWav({'R', 'I', 'F', 'F'}, &decoded, &error));
    EXPECT_EQ(error, "not a RIFF WAVE file");
    std::vector<uint8_t> eightBit = plain;
    Put16(eightBit, 34, 8);
    EXPECT_FALSE(DecodeWav(eightBit, &decoded, &error));
    EXPECT_NE(error.find("unsupported WAV encoding"), std::string::npos);
    std::vector<uint8_t> noData(plain.begin(), plain.begin() + 36);
    EXPECT_FALSE(DecodeWav(noData, &decoded, &error));
    EXPECT_EQ(error, "WAV file has no data chunk");
    // A data chunk that claims more than the file holds is read as far as it goes.
    std::vector<uint8_t> truncated(plain.begin(), plain.end() - 6);
    ASSERT_TRUE(DecodeWav(truncated, &decoded, &error)) << error;
    EXPECT_EQ(decoded.Frames(), 7);
}

TEST(WavCodec, StreamsThroughAFixedHeaderThatBecomesRf64PastFourGigabytes) {
    const fs::path dir = fs::temp_directory_path() / ("aaxhost-wav-" + std::to_string(std::random_device{}() % 1000000000u));
    fs::create_directories(dir);
    const std::string small = (dir / "small.wav").string(), large = (dir / "large.wav").string();
    const AudioData source = Ramp(2, 1001, 44100.0);
    std::vector<float> interleaved;
    for (size_t f = 0; f < 1001; ++f) interleaved.insert(interleaved.end(), {source.channels[0][f], source.channels[1][f]});
    std::unique_ptr<AudioWriter> writer = CreateWavFile(small, 44100.0, 2, nullptr);
    ASSERT_TRUE(writer && writer->Write(interleaved.data(), 300, nullptr) &&
                writer->Write(interleaved.data() + 600, 701, nullptr) && writer->Close(nullptr));
    EXPECT_EQ(fs::file_size(small), kWavStreamHeaderSize + 1001 * 8);
    std::unique_ptr<AudioReader> reader = OpenWavFile(small, nullptr);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->Frames(), 1001);
    std::vector<float> read(1001 * 2);
    EXPECT_EQ(reader->Read(read.data(), 700), 700);
    EXPECT_EQ(reader->Read(read.data() + 1400, 700), 301);
    EXPECT_EQ(reader->Read(read.data(), 1), 0);
    EXPECT_EQ(read, interleaved);

    // Past 4 GiB the header is as long, but RF64 with the sizes in its ds64 chunk; a sparse file
    // of that length reads as that many frames.
    const uint64_t frames = (uint64_t{5} << 30) / 8;
    const std::vector<uint8_t> header = FloatWavHeader(48000.0, 2, frames);
    ASSERT_EQ(header.size(), kWavStreamHeaderSize);
    EXPECT_EQ(std::memcmp(header.data(), "RF64", 4), 0);
    std::ofstream(large, std::ios::binary).write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
    fs::resize_file(large, header.size() + frames * 8);
    reader = OpenWavFile(large, nullptr);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->Frames(), static_cast<int64_t>(frames));
    EXPECT_EQ(reader->Read(read.data(), 4), 4);
    reader.reset();
    std::error_code ec;
    fs::remove_all(dir, ec);
}

TEST(StateFile, RoundTripsChunksAndRejectsDamagedFiles) {
    SavedChunk chunk;
    chunk.id = AAX_FourCC('V', 't', 'D', 'l');
    chunk.record.assign(56 + 5, 0);
    const int32_t size = 5;
    std::memcpy(chunk.record.data(), &size, sizeof size);
    std::memcpy(chunk.record.data() + 56, "hello", 5);
    const std::vector<uint8_t> bytes = EncodeStateFile({chunk, chunk});
    std::vector<SavedChunk> decoded;
    std::string error;
    ASSERT_TRUE(DecodeStateFile(bytes, &decoded, &error)) << error;
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_EQ(decoded[1].id, chunk.id);
    EXPECT_EQ(decoded[1].record, chunk.record);

    std::vector<uint8_t> damaged = bytes;
    damaged.pop_back();
    EXPECT_FALSE(DecodeStateFile(damaged, &decoded, &error));
    EXPECT_EQ(error, "state file chunk is truncated");
    damaged = bytes;
    damaged[16 + 8] = 6;  // fSize of the first record no longer matches its length
    EXPECT_FALSE(DecodeStateFile(damaged, &decoded, &error));
    EXPECT_EQ(error, "state file chunk size does not match its record");
    damaged = bytes;
    damaged.push_back(0);
    EXPECT_FALSE(DecodeStateFile(damaged, &decoded, &error));
    damaged = bytes;
    damaged[0] = 'X';
    EXPECT_FALSE(DecodeStateFile(damaged, &decoded, &error));
    EXPECT_EQ(error, "not an aaxhost state file");
}

TEST(MidiText, ParsesEventsInFrameOrderAndNamesTheBadLine) {
    std::vector<MidiEvent> events;
    std::string error;
    ASSERT_TRUE(ParseMidiText("# notes\n480 0x80 60 0\n\n0 144 60 100  # on\n0 0xB0 0x7B 0\n", &events, &error)) << error;
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].frame, 0);
    EXPECT_EQ(events[0].status, 0x90);
    EXPECT_EQ(events[1].status, 0xB0);  // same frame: file order kept
    EXPECT_EQ(events[1].data1, 0x7B);
    EXPECT_EQ(events[2].frame, 480);

    EXPECT_FALSE(ParseMidiText("0 0x90 60 100\n10 0x40 1 2\n", &events, &error));
    EXPECT_EQ(error, "line 2: status byte must be 0x80 to 0xFF");
    EXPECT_FALSE(ParseMidiText("0 0x90 60\n", &events, &error));
    EXPECT_EQ(error, "line 1: expected FRAME STATUS DATA1 DATA2");
    EXPECT_FALSE(ParseMidiText("-5 0x90 60 1\n", &events, &error));
    EXPECT_FALSE(ParseMidiText("0 0x90 128 1\n", &events, &error));
    EXPECT_FALSE(ParseMidiText("0 0x90 6x 1\n", &events, &error));
}

TEST(MidiFile, ReadsTracksThroughTheTempoMapWithRunningStatus) {
    // Format 1, 480 ticks per quarter. Track 1: at tick 480 the tempo halves (60 BPM). Track 2:
    // a note on at 0, its note off by running status at 480 (0.5 s at 120 BPM), a controller
    // at 960 (one more second at 60 BPM), with a system exclusive message in between.
    const std::vector<uint8_t> file = {
        'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0x01, 0xE0,
        'M', 'T', 'r', 'k', 0, 0, 0, 12, 0x83, 0x60, 0xFF, 0x51, 3, 0x0F, 0x42, 0x40, 0x00, 0xFF, 0x2F, 0x00,
        'M', 'T', 'r', 'k', 0, 0, 0, 22, 0x00, 0x90, 60, 100, 0x83, 0x60, 60, 0, 0x00, 0xF0, 2, 0x7E, 0xF7,
        0x83, 0x60, 0xB0, 0x7B, 0x00, 0x00, 0xFF, 0x2F, 0x00,
    };
    std::vector<MidiEvent> events;
    std::string error;
    ASSERT_TRUE(ParseStandardMidiFile(file, 48000.0, &events, &error)) << error;
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].frame, 0);
    EXPECT_EQ(events[0].status, 0x90);
    EXPECT_EQ(events[1].frame, 24000);
    EXPECT_EQ(events[1].status, 0x90);  // running status: a note on with velocity 0
    EXPECT_EQ(events[1].data2, 0);
    EXPECT_EQ(events[2].frame, 72000);
    EXPECT_EQ(events[2].status, 0xB0);
    EXPECT_EQ(events[2].data1, 0x7B);

    std::vector<uint8_t> truncated(file.begin(), file.end() - 3);
    EXPECT_FALSE(ParseStandardMidiFile(truncated, 48000.0, &events, &error));
    EXPECT_EQ(error, "MIDI track 2 is truncated");
    std::vector<uint8_t> smpte = file;
    smpte[12] = 0xE7;  // negative division: SMPTE timing
    EXPECT_FALSE(ParseStandardMidiFile(smpte, 48000.0, &events, &error));
    std::vector<uint8_t> noDivision = file;
    noDivision[12] = noDivision[13] = 0;
    EXPECT_FALSE(ParseStandardMidiFile(noDivision, 48000.0, &events, &error));
    EXPECT_EQ(error, "MIDI file division is 0 ticks per quarter note");
    // The system exclusive message cancels running status: data after it has no status.
    std::vector<uint8_t> cancelled = file;
    cancelled[file.size() - 7] = 60;  // the controller's status byte becomes a data byte
    EXPECT_FALSE(ParseStandardMidiFile(cancelled, 48000.0, &events, &error));
    EXPECT_EQ(error, "MIDI track 2 has data without a status");
}

TEST(Automation, ReadsTimesInSecondsOrFramesAndPlaysLanesBack) {
    std::vector<AutomationPoint> points;
    std::string error;
    ASSERT_TRUE(ParseAutomationText("# lanes\n0.5 mix 0.2\n1s \"\" 1\n  2400smp tone 1 ramp # up\n", 48000.0, &points, &error))
        << error;
    ASSERT_TRUE(ParseInlineAutomation("tone=0:0,0.1:1", 1000.0, &points, &error)) << error;
    ASSERT_EQ(points.size(), 5u);
    const int64_t frames[] = {24000, 48000, 2400, 0, 100};
    const char* ids[] = {"mix", "", "tone", "tone", "tone"};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(points[i].frame, frames[i]);
        EXPECT_EQ(points[i].id, ids[i]);
        EXPECT_EQ(points[i].ramp, i == 2 || i == 4);
    }
    for (const auto& [text, reason] : std::vector<std::pair<std::string, std::string>>{
             {"0 mix\n", "line 1: expected TIME ID VALUE"},
             {"\n-1 mix 0.5\n", "line 2: not a time"},
             {"1.5smp mix 0.5\n", "line 1: not a sample frame: 1.5smp"},
             {"1 mix 0.5 slide\n", "line 1: expected TIME ID VALUE"},
             {"1 mix nan\n", "line 1: the value must be a normalized number from 0 to 1: nan"}}) {
        EXPECT_FALSE(ParseAutomationText(text, 48000.0, &points, &error)) << text;
        EXPECT_EQ(error.rfind(reason, 0), 0u) << error;
    }
    // A step holds from its frame; a first ramp starts where the parameter stands.
    AutomationPlayer player({{100, "a", 0.5, false}, {200, "b", 1.0, true}});
    EXPECT_EQ(player.NextPointAfter(0), 100);
    EXPECT_EQ(player.NextPointAfter(100), 200);
    EXPECT_EQ(player.NextPointAfter(200), -1);
    std::vector<std::pair<std::string, double>> applied;
    for (int64_t frame = 0; frame <= 250; frame += 50) {
        player.Advance(frame, [](const std::string&) { return 0.2; },
                       [&applied](const std::string& id, double value) { applied.emplace_back(id, value); });
    }
    const std::vector<std::pair<std::string, double>> expected = {{"b", 0.4}, {"a", 0.5}, {"b", 0.6}, {"b", 0.8}, {"b", 1.0}};
    ASSERT_EQ(applied.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(applied[i].first, expected[i].first);
        EXPECT_NEAR(applied[i].second, expected[i].second, 1e-12);
    }
}
