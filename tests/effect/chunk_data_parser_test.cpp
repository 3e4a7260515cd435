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

// Appends the bytes, or a zero-terminated text, padded with zeros to a multiple of 4.
void Append(Bytes& bytes, std::initializer_list<uint8_t> more) { bytes.insert(bytes.end(), more); }
void AppendText(Bytes& bytes, const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    do bytes.push_back(0);
    while (bytes.size() % 4 != 0);
}

// Loads from a record that holds exactly the bytes, with fSize as given.
void Load(AAX_CChunkDataParser& parser, const Bytes& data, int32_t size) {
    ChunkRecord record = ChunkRecord::WithData(data);
    record.Get()->fSize = size;
    record.Get()->fVersion = 3;
    parser.LoadChunk(record.Get());
}
void Load(AAX_CChunkDataParser& parser, const Bytes& data) { Load(parser, data, static_cast<int32_t>(data.size())); }

// Three entries, ending at data offsets 20, 32 and 44 (the string's zero byte is at 43).
const Bytes kThreeEntries = [] {
    Bytes bytes = {1, 1, 1, 1};
    AppendText(bytes, "d_Gain");
    Append(bytes, {0x3F, 0xE0, 0, 0, 0, 0, 0, 0});
    AppendText(bytes, "l_On");
    Append(bytes, {0, 0, 0, 1});
    AppendText(bytes, "r_Name");
    AppendText(bytes, "abc");
    return bytes;
}();
constexpr size_t kEntryEnds[] = {20, 32, 44};

}  // namespace

TEST(ChunkDataParser, WritesIntegersBigEndianAndStringsPaddedToFourBytes) {
    AAX_CChunkDataParser parser;
    parser.AddInt32("N", -2);
    parser.AddString("S3", "abc");
    parser.AddString("S4", "abcd");
    Bytes expected = {1, 1, 1, 1};
    AppendText(expected, "l_N");
    Append(expected, {0xFF, 0xFF, 0xFF, 0xFE});
    AppendText(expected, "r_S3");
    Append(expected, {'a', 'b', 'c', 0});  // 3 characters take exactly 4 bytes
    AppendText(expected, "r_S4");
    Append(expected, {'a', 'b', 'c', 'd', 0, 0, 0, 0});  // 4 take 8
    EXPECT_EQ(parser.GetChunkDataSize(), static_cast<int32_t>(expected.size()));
    EXPECT_EQ(Serialize(parser), expected);
    EXPECT_EQ(parser.GetChunkData(nullptr), AAX_ERROR_NULL_OBJECT);
}

TEST(ChunkDataParser, ReadsBackEveryValueBitForBitAndOnlyAsItsOwnType) {
    const double third = 1.0 / 3.0;
    AAX_CChunkDataParser writer;
    writer.AddDouble("third", third);
    writer.AddDouble("negative zero", -0.0);
    writer.AddInt32("min", INT32_MIN);
    writer.AddString("text", "Delay time\tms");
    writer.AddString("empty", "");

    AAX_CChunkDataParser reader;
    Load(reader, Serialize(writer));
    EXPECT_EQ(reader.GetChunkVersion(), 3);
    double d = 0.0;
    ASSERT_TRUE(reader.FindDouble("third", &d));
    EXPECT_EQ(std::memcmp(&d, &third, sizeof d), 0);
    ASSERT_TRUE(reader.FindDouble("negative zero", &d));
    EXPECT_TRUE(std::signbit(d));
    int32_t i = 0;
    ASSERT_TRUE(reader.FindInt32("min", &i));
    EXPECT_EQ(i, INT32_MIN);
    AAX_CString s("x");
    ASSERT_TRUE(reader.FindString("text", &s));
    EXPECT_EQ(s.StdString(), "Delay time\tms");
    ASSERT_TRUE(reader.FindString("empty", &s));
    EXPECT_EQ(s.StdString(), "");
    EXPECT_EQ(Serialize(reader), Serialize(writer));

    // Another type, another case or a null identifier finds nothing and writes nothing.
    d = -1.0;
    i = -1;
    s = "keep";
    EXPECT_FALSE(reader.FindDouble("min", &d));
    EXPECT_FALSE(reader.FindInt32("third", &i));
    EXPECT_FALSE(reader.FindString("min", &s));
    EXPECT_FALSE(reader.FindDouble("Third", &d));
    EXPECT_FALSE(reader.FindDouble(nullptr, &d));
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
    EXPECT_EQ(parser.FindEntryIndex("b"), 3);
    EXPECT_EQ(parser.FindEntryIndex("b"), 1);  // at the final entry the hint starts over
    EXPECT_EQ(parser.FindEntryIndex("a"), 0);  // wraps round
    EXPECT_EQ(parser.FindEntryIndex("missing"), -1);
    EXPECT_EQ(parser.GetLastFoundIndex(), 0);  // a miss leaves the hint

    parser.Clear();
    EXPECT_EQ(parser.GetLastFoundIndex(), -1);
    EXPECT_EQ(parser.GetChunkVersion(), -1);
    EXPECT_EQ(parser.FindEntryIndex("a"), -1);
}

TEST(ChunkDataParser, ReadsEntriesItNeverWritesAndUntypedLabels) {
    Bytes data = {1, 1, 1, 1};
    AppendText(data, "f_F");
    Append(data, {0x3F, 0x80, 0x00, 0x00});
    AppendText(data, "s_S");
    Append(data, {0xFF, 0xFE, 0xAA, 0xBB});  // 2 bytes of value, 2 skipped
    AppendText(data, "x_A");  // no value: the next label starts where it would have
    AppendText(data, "");     // an empty label
    AppendText(data, "l");    // too short for a name
    Append(data, {0, 0, 0, 7});

    AAX_CChunkDataParser parser;
    Load(parser, data);
    const auto& entries = parser.Entries();
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].type, ChunkEntry::kFloat);
    EXPECT_EQ(entries[0].value, 0x3F800000u);
    EXPECT_EQ(entries[1].type, ChunkEntry::kInt16);
    EXPECT_EQ(entries[1].value, 0xFFFEu);  // zero-extended
    EXPECT_EQ(entries[2].type, ChunkEntry::kNone);
    EXPECT_EQ(entries[2].name, "A");
    EXPECT_EQ(entries[3].type, ChunkEntry::kNone);
    EXPECT_EQ(entries[4].type, ChunkEntry::kInt32);
    EXPECT_EQ(entries[4].name, "");
    double d = 0.0;
    int32_t i = 0;
    EXPECT_FALSE(parser.FindDouble("F", &d));  // only doubles, int32s and strings are found
    EXPECT_FALSE(parser.FindInt32("S", &i));
}

TEST(ChunkDataParser, KeepsTheWholeEntriesOfAChunkCutAnywhere) {
    // Every fSize over the same bytes, each record holding exactly fSize bytes.
    for (size_t size = 0; size <= kThreeEntries.size(); ++size) {
        AAX_CChunkDataParser parser;
        Load(parser, Bytes(kThreeEntries.begin(), kThreeEntries.begin() + static_cast<std::ptrdiff_t>(size)));
        size_t whole = 0;
        for (size_t end : kEntryEnds) whole += end <= size ? 1 : 0;
        EXPECT_EQ(parser.Entries().size(), whole) << "fSize " << size;
    }
}

TEST(ChunkDataParser, StopsAtUnterminatedOrOverlongLabelsAndStrings) {
    AAX_CChunkDataParser parser;
    Bytes data = kThreeEntries;
    Append(data, {'l', '_', 'X', 'Y'});  // a label without its zero byte
    Load(parser, data);
    EXPECT_EQ(parser.Entries().size(), 3u);

    data = {1, 1, 1, 1};
    AppendText(data, "r_S");
    Append(data, {'a', 'b', 'c', 'd'});  // a string without its zero byte
    Load(parser, data);
    EXPECT_TRUE(parser.Entries().empty());

    // A label of 255 characters is read; one of 256 ends the chunk though terminated later.
    data = {1, 1, 1, 1};
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
    for (int32_t size : {4, 0, -1, INT_MIN}) {
        Load(parser, data, size);
        EXPECT_TRUE(parser.Entries().empty()) << size;
        EXPECT_EQ(parser.GetChunkVersion(), 3);
    }
    data[2] = 0x02;
    Load(parser, data);
    EXPECT_TRUE(parser.Entries().empty());
    parser.LoadChunk(nullptr);
    EXPECT_EQ(parser.GetChunkVersion(), -1);
}
