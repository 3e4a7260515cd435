#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "ChunkRecord.h"
#include "effect/AAX_CChunkDataParser.h"
#include "params/AAX_CString.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Serialize(const AAX_CChunkDataParser& parser) {
    ChunkRecord record(static_cast<size_t>(parser.GetChunkDataSize()));
    EXPECT_EQ(parser.GetChunkData(record.Get()), AAX_SUCCESS);
    return record.DataBytes();
}

void Append(Bytes& bytes, std::initializer_list<uint8_t> more) { bytes.insert(bytes.end(), more); }

void AppendText(Bytes& bytes, const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
    while (bytes.size() % 4 != 0) bytes.push_back(0);
}

Bytes Marker() { return {1, 1, 1, 1}; }

// Loads the data from a record that holds exactly its bytes, with fSize set as given.
void Load(AAX_CChunkDataParser& parser, const Bytes& data, int32_t size) {
    ChunkRecord record = ChunkRecord::WithData(data);
    record.Get()->fSize = size;
    record.Get()->fVersion = 3;
    parser.LoadChunk(record.Get());
}

void Load(AAX_CChunkDataParser& parser, const Bytes& data) {
    Load(parser, data, static_cast<int32_t>(data.size()));
}

// The three entries of the reference image below end at these data offsets.
const Bytes kThreeEntries = [] {
    Bytes bytes = Marker();
    AppendText(bytes, "d_Gain");  // 4..11
    Append(bytes, {0x3F, 0xE0, 0, 0, 0, 0, 0, 0});  // ..19
    AppendText(bytes, "l_On");  // 20..27
    Append(bytes, {0, 0, 0, 1});  // ..31
    AppendText(bytes, "r_Name");  // 32..39
    AppendText(bytes, "abc");  // ..43, its zero byte at 43
    return bytes;
}();
constexpr size_t kEntryEnds[] = {20, 32, 44};

}  // namespace

TEST(ChunkDataParser, WritesTheGainExampleByteForByte) {
    AAX_CChunkDataParser parser;
    parser.AddDouble("Gain", static_cast<double>(0.5f));
    EXPECT_EQ(parser.GetChunkDataSize(), 20);
    const Bytes expected = {1, 1, 1, 1, 0x64, 0x5F, 0x47, 0x61, 0x69, 0x6E, 0x00, 0x00,
                            0x3F, 0xE0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Serialize(parser), expected);
}

TEST(ChunkDataParser, AnEmptyChunkIsTheMarkerAlone) {
    AAX_CChunkDataParser parser;
    EXPECT_EQ(parser.GetChunkDataSize(), 4);
    EXPECT_EQ(Serialize(parser), Marker());
}

TEST(ChunkDataParser, WritesIntegersBigEndianAndStringsPaddedToFourBytes) {
    AAX_CChunkDataParser parser;
    parser.AddInt32("On", 1);
    parser.AddInt32("N", -2);
    parser.AddString("S3", "abc");
    parser.AddString("S4", "abcd");
    Bytes expected = Marker();
    AppendText(expected, "l_On");
    Append(expected, {0, 0, 0, 1});
    AppendText(expected, "l_N");
    Append(expected, {0xFF, 0xFF, 0xFF, 0xFE});
    AppendText(expected, "r_S3");
    Append(expected, {'a', 'b', 'c', 0});  // 3 characters take exactly 4 bytes
    AppendText(expected, "r_S4");
    Append(expected, {'a', 'b', 'c', 'd', 0, 0, 0, 0});  // 4 take 8
    EXPECT_EQ(parser.GetChunkDataSize(), static_cast<int32_t>(expected.size()));
    EXPECT_EQ(Serialize(parser), expected);
}

TEST(ChunkDataParser, ReadsBackEveryValueItWrites) {
    const double awkward = std::nextafter(1.0 / 3.0, 1.0);
    AAX_CChunkDataParser writer;
    writer.AddDouble("a", awkward);
    writer.AddDouble("negative zero", -0.0);
    writer.AddDouble("huge", std::numeric_limits<double>::max());
    writer.AddInt32("min", INT32_MIN);
    writer.AddInt32("max", INT32_MAX);
    writer.AddString("empty", "");
    writer.AddString("text", "Delay time\tms");
    writer.AddDouble(std::string(31, 'x').c_str(), 0.25);

    AAX_CChunkDataParser reader;
    Load(reader, Serialize(writer));
    EXPECT_EQ(reader.GetChunkVersion(), 3);
    ASSERT_EQ(reader.Entries().size(), 8u);

    double d = 0.0;
    ASSERT_TRUE(reader.FindDouble("a", &d));
    EXPECT_EQ(std::memcmp(&d, &awkward, sizeof d), 0);
    ASSERT_TRUE(reader.FindDouble("negative zero", &d));
    EXPECT_TRUE(std::signbit(d));
    ASSERT_TRUE(reader.FindDouble("huge", &d));
    EXPECT_EQ(d, std::numeric_limits<double>::max());
    int32_t i = 0;
    ASSERT_TRUE(reader.FindInt32("min", &i));
    EXPECT_EQ(i, INT32_MIN);
    ASSERT_TRUE(reader.FindInt32("max", &i));
    EXPECT_EQ(i, INT32_MAX);
    AAX_CString s("unchanged");
    ASSERT_TRUE(reader.FindString("empty", &s));
    EXPECT_EQ(s.StdString(), "");
    ASSERT_TRUE(reader.FindString("text", &s));
    EXPECT_EQ(s.StdString(), "Delay time\tms");
    ASSERT_TRUE(reader.FindDouble(std::string(31, 'x').c_str(), &d));
    EXPECT_EQ(d, 0.25);

    // Writing what was read gives the same bytes again.
    EXPECT_EQ(Serialize(reader), Serialize(writer));
}

TEST(ChunkDataParser, FindsOnlyEntriesOfTheRequestedTypeAndLeavesOutputsAlone) {
    AAX_CChunkDataParser parser;
    parser.AddDouble("d", 1.5);
    parser.AddInt32("i", 9);
    parser.AddString("s", "text");

    double d = -1.0;
    int32_t i = -1;
    AAX_CString s("keep");
    EXPECT_FALSE(parser.FindDouble("i", &d));
    EXPECT_FALSE(parser.FindDouble("s", &d));
    EXPECT_FALSE(parser.FindInt32("d", &i));
    EXPECT_FALSE(parser.FindString("i", &s));
    EXPECT_FALSE(parser.FindDouble("D", &d));  // case matters
    EXPECT_FALSE(parser.FindDouble(nullptr, &d));
    EXPECT_EQ(d, -1.0);
    EXPECT_EQ(i, -1);
    EXPECT_EQ(s.StdString(), "keep");
}

TEST(ChunkDataParser, SearchesOnFromTheLastHitAndWrapsRound) {
    AAX_CChunkDataParser parser;
    parser.AddInt32("a", 1);
    parser.AddInt32("b", 2);
    parser.AddInt32("c", 3);
    parser.AddInt32("b", 4);  // a duplicate: which one is found depends on the hint

    EXPECT_EQ(parser.FindEntryIndex("b"), 1);
    EXPECT_EQ(parser.FindEntryIndex("b"), 3);  // searches on from the last hit
    EXPECT_EQ(parser.GetLastFoundIndex(), 3);
    // At the final entry the hint starts over, so the first "b" is found again.
    EXPECT_EQ(parser.FindEntryIndex("b"), 1);
    EXPECT_EQ(parser.FindEntryIndex("a"), 0);  // wraps round to the start
    EXPECT_EQ(parser.FindEntryIndex("missing"), -1);
    EXPECT_EQ(parser.GetLastFoundIndex(), 0);  // a miss leaves the hint
    EXPECT_EQ(parser.FindEntryIndex("c"), 2);

    parser.Clear();
    EXPECT_EQ(parser.GetLastFoundIndex(), -1);
    EXPECT_EQ(parser.GetChunkVersion(), -1);
    EXPECT_EQ(parser.FindEntryIndex("a"), -1);
}

TEST(ChunkDataParser, ReadsFloatAndShortEntriesThatItNeverWrites) {
    Bytes data = Marker();
    AppendText(data, "f_F");
    Append(data, {0x3F, 0x80, 0x00, 0x00});  // 1.0f
    AppendText(data, "s_S");
    Append(data, {0xFF, 0xFE, 0xAA, 0xBB});  // 2 bytes of value, 2 skipped
    AppendText(data, "l_L");
    Append(data, {0, 0, 0, 5});

    AAX_CChunkDataParser parser;
    Load(parser, data);
    const auto& entries = parser.Entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].type, ChunkEntry::kFloat);
    EXPECT_EQ(entries[0].value, 0x3F800000u);
    EXPECT_EQ(entries[1].type, ChunkEntry::kInt16);
    EXPECT_EQ(entries[1].value, 0xFFFEu);  // zero-extended
    EXPECT_EQ(entries[2].name, "L");
    double d = 0.0;
    int32_t i = 0;
    EXPECT_FALSE(parser.FindDouble("F", &d));
    EXPECT_FALSE(parser.FindInt32("S", &i));
    EXPECT_TRUE(parser.FindInt32("L", &i));
    EXPECT_EQ(i, 5);
}

TEST(ChunkDataParser, AnUnknownLetterGivesAnUntypedEntryWithoutAValue) {
    Bytes data = Marker();
    AppendText(data, "x_A");
    AppendText(data, "l_B");  // read from where x_A's value would have started
    Append(data, {0, 0, 0, 7});
    AppendText(data, "");  // an empty label: untyped, empty name
    AppendText(data, "d");  // a label too short for a name
    Append(data, {0x40, 0, 0, 0, 0, 0, 0, 0});

    AAX_CChunkDataParser parser;
    Load(parser, data);
    const auto& entries = parser.Entries();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].type, ChunkEntry::kNone);
    EXPECT_EQ(entries[0].name, "A");
    EXPECT_EQ(entries[1].type, ChunkEntry::kInt32);
    EXPECT_EQ(entries[1].name, "B");
    EXPECT_EQ(entries[2].type, ChunkEntry::kNone);
    EXPECT_EQ(entries[2].name, "");
    EXPECT_EQ(entries[3].type, ChunkEntry::kDouble);
    EXPECT_EQ(entries[3].name, "");
    int32_t b = 0;
    EXPECT_TRUE(parser.FindInt32("B", &b));
    EXPECT_EQ(b, 7);
}

TEST(ChunkDataParser, KeepsTheWholeEntriesOfAChunkCutAnywhere) {
    // Every possible fSize over the same bytes, each in a record holding exactly fSize bytes:
    // the entries that end within fSize are kept and nothing past it is read.
    for (size_t size = 0; size <= kThreeEntries.size(); ++size) {
        const Bytes cut(kThreeEntries.begin(), kThreeEntries.begin() + static_cast<std::ptrdiff_t>(size));
        AAX_CChunkDataParser parser;
        Load(parser, cut);
        size_t whole = 0;
        for (size_t end : kEntryEnds) whole += end <= size ? 1 : 0;
        EXPECT_EQ(parser.Entries().size(), whole) << "fSize " << size;
        EXPECT_EQ(parser.GetChunkVersion(), 3);
    }
}

TEST(ChunkDataParser, StopsAtUnterminatedOrOverlongLabelsAndStrings) {
    // A label that runs to the end of the data without its zero byte.
    Bytes data = kThreeEntries;
    Append(data, {'l', '_', 'X', 'Y'});
    AAX_CChunkDataParser parser;
    Load(parser, data);
    EXPECT_EQ(parser.Entries().size(), 3u);

    // A string value with no zero byte before fSize.
    data = Marker();
    AppendText(data, "l_A");
    Append(data, {0, 0, 0, 1});
    AppendText(data, "r_S");
    Append(data, {'a', 'b', 'c', 'd'});
    Load(parser, data);
    EXPECT_EQ(parser.Entries().size(), 1u);

    // Labels of 255 characters are read; a longer one ends the chunk, even when it is
    // terminated later on.
    data = Marker();
    AppendText(data, "l_" + std::string(253, 'a'));
    Append(data, {0, 0, 0, 2});
    AppendText(data, "l_" + std::string(254, 'b'));
    Append(data, {0, 0, 0, 3});
    Load(parser, data);
    ASSERT_EQ(parser.Entries().size(), 1u);
    EXPECT_EQ(parser.Entries()[0].name, std::string(253, 'a'));
}

TEST(ChunkDataParser, LoadsNothingFromShortUnmarkedOrNegativeChunks) {
    AAX_CChunkDataParser parser;
    Bytes data = kThreeEntries;
    Load(parser, data, 4);  // the marker alone
    EXPECT_TRUE(parser.Entries().empty());
    Load(parser, data, -1);
    EXPECT_TRUE(parser.Entries().empty());
    Load(parser, data, INT_MIN);
    EXPECT_TRUE(parser.Entries().empty());
    EXPECT_EQ(parser.GetChunkVersion(), 3);

    data[2] = 0x02;
    Load(parser, data);
    EXPECT_TRUE(parser.Entries().empty());

    parser.LoadChunk(nullptr);
    EXPECT_TRUE(parser.Entries().empty());
    EXPECT_EQ(parser.GetChunkVersion(), -1);
}

TEST(ChunkDataParser, RefusesANullRecord) {
    AAX_CChunkDataParser parser;
    EXPECT_EQ(parser.GetChunkData(nullptr), AAX_ERROR_NULL_OBJECT);
}
