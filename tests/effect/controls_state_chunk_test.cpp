#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "ChunkRecord.h"
#include "ScalarParameter.h"
#include "TestEffect.h"
#include "support/FakeHost.h"

using testsupport::FakeHost;

namespace {

using Bytes = std::vector<uint8_t>;
constexpr AAX_CTypeID kElck = AAX_FourCC('e', 'l', 'c', 'k');

// Saves the controls-state chunk as a host does: size first, then a record of that size.
ChunkRecord Save(const AAX_CEffectParameters& effect) {
    uint32_t size = 0;
    EXPECT_EQ(effect.GetChunkSize(kElck, &size), AAX_SUCCESS);
    ChunkRecord record(size);
    record.Get()->fChunkID = kElck;
    EXPECT_EQ(effect.GetChunk(kElck, record.Get()), AAX_SUCCESS);
    return record;
}

bool Compare(const AAX_CEffectParameters& effect, ChunkRecord& record) {
    bool equal = false;
    EXPECT_EQ(effect.CompareActiveChunk(record.Get(), &equal), AAX_SUCCESS);
    return equal;
}

float FloatValue(TestEffect& effect, const char* id) {
    float value = -1.0f;
    EXPECT_TRUE(effect.Parameter(id)->GetValueAsFloat(&value));
    return value;
}

bool BoolValue(TestEffect& effect, const char* id) {
    bool value = false;
    EXPECT_TRUE(effect.Parameter(id)->GetValueAsBool(&value));
    return value;
}

ScalarParameter& Scalar(TestEffect& effect, const char* id) {
    return *static_cast<ScalarParameter*>(effect.Parameter(id));
}

// A data model with one parameter of every kind, the master bypass (filtered) first, on a host
// that confirms every value request (true) or offers no automation at all (false).
struct EveryKind : ::testing::TestWithParam<bool> {
    FakeHost host;
    TestEffect effect;

    void SetUp() override {
        host.offers.automationDelegate = GetParam();
        host.automation.SetDataModel(&effect);
        auto* count = new ScalarParameter("Count", ScalarParameter::Kind::Int32);
        count->intValue = -123456;
        auto* fine = new ScalarParameter("Fine", ScalarParameter::Kind::Double);
        fine->doubleValue = 1.0 / 3.0;
        auto* label = new ScalarParameter("Label", ScalarParameter::Kind::String);
        label->stringValue = "Tape echo";
        effect.pending = {MakeBoolParameter("MasterBypassID", true),
                          MakeFloatParameter("Gain", 0.3f),
                          MakeBoolParameter("On", true),
                          count,
                          fine,
                          label,
                          new ScalarParameter("Meter", ScalarParameter::Kind::Untyped)};
        ASSERT_EQ(effect.Initialize(host.Unknown()), AAX_SUCCESS);
    }
    void TearDown() override { effect.Uninitialize(); }

    void ChangeEverything() {
        effect.Parameter("MasterBypassID")->SetValueWithBool(false);
        effect.Parameter("Gain")->SetValueWithFloat(0.9f);
        effect.Parameter("On")->SetValueWithBool(false);
        Scalar(effect, "Count").intValue = 7;
        Scalar(effect, "Fine").doubleValue = 0.75;
        Scalar(effect, "Label").stringValue = "Clean";
    }
};

}  // namespace

TEST(ControlsStateChunk, IsTheOnlyChunkAndIsCalledElck) {
    TestEffect effect;
    int32_t count = 0;
    EXPECT_EQ(effect.GetNumberOfChunks(&count), AAX_SUCCESS);
    EXPECT_EQ(count, 1);
    AAX_CTypeID id = 1;
    EXPECT_EQ(effect.GetChunkIDFromIndex(0, &id), AAX_SUCCESS);
    EXPECT_EQ(id, 0x656C636Bu);
    EXPECT_EQ(effect.GetChunkIDFromIndex(1, &id), AAX_ERROR_INVALID_CHUNK_INDEX);
    EXPECT_EQ(id, 0u);

    uint32_t size = 5;
    EXPECT_EQ(effect.GetChunkSize(AAX_FourCC('a', 'b', 'c', 'd'), &size), AAX_ERROR_INVALID_CHUNK_ID);
    EXPECT_EQ(size, 0u);
    ChunkRecord record(4);
    EXPECT_EQ(effect.GetChunk(AAX_FourCC('a', 'b', 'c', 'd'), record.Get()), AAX_ERROR_INVALID_CHUNK_ID);
    EXPECT_EQ(effect.SetChunk(AAX_FourCC('a', 'b', 'c', 'd'), record.Get()), AAX_ERROR_INVALID_CHUNK_ID);
    EXPECT_EQ(effect.GetChunkSize(kElck, nullptr), AAX_ERROR_NULL_OBJECT);
    EXPECT_EQ(effect.GetChunk(kElck, nullptr), AAX_ERROR_NULL_OBJECT);
    EXPECT_EQ(effect.SetChunk(kElck, nullptr), AAX_ERROR_NULL_OBJECT);
    bool equal = false;
    EXPECT_EQ(effect.CompareActiveChunk(nullptr, &equal), AAX_ERROR_NULL_OBJECT);
    EXPECT_EQ(effect.CompareActiveChunk(record.Get(), nullptr), AAX_ERROR_NULL_OBJECT);
}

TEST(ControlsStateChunk, WithOnlyTheFilteredBypassItIsTheMarkerAlone) {
    FakeHost host;
    TestEffect effect;
    effect.pending = {MakeBoolParameter("MasterBypassID", true)};
    ASSERT_EQ(effect.Initialize(host.Unknown()), AAX_SUCCESS);
    ChunkRecord record = Save(effect);
    EXPECT_EQ(record.Get()->fSize, 4);
    EXPECT_EQ(record.DataBytes(), (Bytes{1, 1, 1, 1}));
    EXPECT_EQ(record.Get()->fVersion, -1);
    EXPECT_STREQ(reinterpret_cast<const char*>(record.Get()->fName), "Complete Controls State");
    for (size_t i = std::strlen("Complete Controls State"); i < 32; ++i) EXPECT_EQ(record.Get()->fName[i], 0) << i;
    effect.Uninitialize();
}

TEST(ControlsStateChunk, WritesAFloatGainOfOneHalfAsTheReferenceImage) {
    TestEffect effect;
    effect.Add(MakeFloatParameter("Gain", 0.5f));
    ChunkRecord record = Save(effect);
    const Bytes expected = {1, 1, 1, 1, 0x64, 0x5F, 0x47, 0x61, 0x69, 0x6E, 0x00, 0x00,
                            0x3F, 0xE0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(record.DataBytes(), expected);
}

TEST(ControlsStateChunk, WritesABoolAsAnIntegerEntry) {
    TestEffect effect;
    effect.Add(MakeBoolParameter("On", true));
    ChunkRecord record = Save(effect);
    const Bytes expected = {1, 1, 1, 1, 'l', '_', 'O', 'n', 0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(record.DataBytes(), expected);
}

TEST(ControlsStateChunk, RefusesGetChunkWithoutAMatchingSize) {
    TestEffect effect;
    auto* label = new ScalarParameter("Label", ScalarParameter::Kind::String);
    label->stringValue = "abc";
    effect.Add(label);

    ChunkRecord record(64);
    std::memset(record.Data(), 0xAA, 64);
    record.Get()->fSize = 64;
    EXPECT_EQ(effect.GetChunk(kElck, record.Get()), AAX_ERROR_INCORRECT_CHUNK_SIZE);  // no size asked

    uint32_t size = 0;
    ASSERT_EQ(effect.GetChunkSize(kElck, &size), AAX_SUCCESS);
    EXPECT_EQ(size, 16u);
    label->stringValue = "abcd";  // the chunk grows by 4 bytes after the host allocated it
    EXPECT_EQ(effect.GetChunk(kElck, record.Get()), AAX_ERROR_INCORRECT_CHUNK_SIZE);
    EXPECT_EQ(record.Get()->fSize, 64);  // nothing written
    EXPECT_EQ(record.Data()[0], 0xAA);
}

TEST_P(EveryKind, SavesAndRestoresEveryKindOfValueExceptTheFilteredOnes) {
    ChunkRecord saved = Save(effect);
    EXPECT_TRUE(Compare(effect, saved));

    ChangeEverything();
    EXPECT_FALSE(Compare(effect, saved));
    ASSERT_EQ(effect.SetChunk(kElck, saved.Get()), AAX_SUCCESS);
    EXPECT_TRUE(Compare(effect, saved));

    EXPECT_EQ(FloatValue(effect, "Gain"), 0.3f);
    EXPECT_TRUE(BoolValue(effect, "On"));
    EXPECT_EQ(Scalar(effect, "Count").intValue, -123456);
    EXPECT_EQ(Scalar(effect, "Fine").doubleValue, 1.0 / 3.0);
    EXPECT_EQ(Scalar(effect, "Label").stringValue, "Tape echo");
    EXPECT_FALSE(BoolValue(effect, "MasterBypassID"));  // filtered: neither saved nor restored

    // Saving again gives the same bytes.
    ChunkRecord again = Save(effect);
    EXPECT_EQ(again.DataBytes(), saved.DataBytes());
}

TEST_P(EveryKind, EachDifferingValueMakesTheComparisonFail) {
    ChunkRecord saved = Save(effect);
    const std::vector<std::function<void()>> changes = {
        [&] { effect.Parameter("Gain")->SetValueWithFloat(0.31f); },
        [&] { effect.Parameter("On")->SetValueWithBool(false); },
        [&] { Scalar(effect, "Count").intValue = -123455; },
        [&] { Scalar(effect, "Fine").doubleValue = 0.34; },
        [&] { Scalar(effect, "Label").stringValue = "Tape echO"; },
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        ASSERT_EQ(effect.SetChunk(kElck, saved.Get()), AAX_SUCCESS);
        changes[i]();
        EXPECT_FALSE(Compare(effect, saved)) << "change " << i;
    }
    // The filtered bypass and a parameter without a typed value do not take part.
    ASSERT_EQ(effect.SetChunk(kElck, saved.Get()), AAX_SUCCESS);
    effect.Parameter("MasterBypassID")->SetValueWithBool(false);
    EXPECT_TRUE(Compare(effect, saved));
}

TEST_P(EveryKind, ComparesDoublesAsFloatsAndNeverMatchesNaN) {
    ChunkRecord saved = Save(effect);
    Scalar(effect, "Fine").doubleValue = 1.0 / 3.0 + 1e-12;  // the same as a float
    EXPECT_TRUE(Compare(effect, saved));

    Scalar(effect, "Fine").doubleValue = std::numeric_limits<double>::quiet_NaN();
    ChunkRecord withNaN = Save(effect);
    EXPECT_FALSE(Compare(effect, withNaN));
}

TEST_P(EveryKind, ReportsChunksOfOtherIdentifiersEqualAndEmptyOnesUnequal) {
    ChunkRecord other(4);
    other.Get()->fChunkID = AAX_FourCC('V', 't', 'r', 'l');
    EXPECT_TRUE(Compare(effect, other));

    ChunkRecord empty(4);
    empty.Get()->fChunkID = kElck;
    std::memset(empty.Data(), 1, 4);
    EXPECT_FALSE(Compare(effect, empty));
    ChangeEverything();
    ASSERT_EQ(effect.SetChunk(kElck, empty.Get()), AAX_SUCCESS);  // changes nothing
    EXPECT_EQ(FloatValue(effect, "Gain"), 0.9f);
    EXPECT_EQ(Scalar(effect, "Label").stringValue, "Clean");
}

TEST_P(EveryKind, AParameterWithoutAnEntryOrWithAnEntryOfAnotherTypeKeepsItsValue) {
    // Written by hand: Gain is an integer here, On is missing, and an unknown entry is ignored.
    Bytes data = {1, 1, 1, 1};
    auto text = [&](const std::string& s) {
        data.insert(data.end(), s.begin(), s.end());
        data.push_back(0);
        while (data.size() % 4 != 0) data.push_back(0);
    };
    text("l_Gain");
    data.insert(data.end(), {0, 0, 0, 1});
    text("l_Nobody");
    data.insert(data.end(), {0, 0, 0, 1});
    text("l_Count");
    data.insert(data.end(), {0, 0, 0, 42});
    ChunkRecord record = ChunkRecord::WithData(data);
    record.Get()->fChunkID = kElck;

    ChangeEverything();
    ASSERT_EQ(effect.SetChunk(kElck, record.Get()), AAX_SUCCESS);
    EXPECT_EQ(FloatValue(effect, "Gain"), 0.9f);
    EXPECT_FALSE(BoolValue(effect, "On"));
    EXPECT_EQ(Scalar(effect, "Count").intValue, 42);
    EXPECT_FALSE(Compare(effect, record));
}

TEST_P(EveryKind, ATruncatedChunkRestoresItsWholeEntriesOnly) {
    ChunkRecord saved = Save(effect);
    const Bytes full = saved.DataBytes();
    // Gain 4..19, On 20..31, Count 32..43, Fine 44..59, Label 60..79 (its text's zero byte at 77).
    ASSERT_EQ(full.size(), 80u);
    for (size_t size = 0; size <= full.size(); ++size) {
        ChangeEverything();
        ChunkRecord cut = ChunkRecord::WithData(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size)));
        cut.Get()->fChunkID = kElck;
        ASSERT_EQ(effect.SetChunk(kElck, cut.Get()), AAX_SUCCESS);
        EXPECT_EQ(FloatValue(effect, "Gain"), size >= 20 ? 0.3f : 0.9f) << size;
        EXPECT_EQ(BoolValue(effect, "On"), size >= 32) << size;
        EXPECT_EQ(Scalar(effect, "Count").intValue, size >= 44 ? -123456 : 7) << size;
        EXPECT_EQ(Scalar(effect, "Fine").doubleValue, size >= 60 ? 1.0 / 3.0 : 0.75) << size;
        EXPECT_EQ(Scalar(effect, "Label").stringValue, size >= 78 ? "Tape echo" : "Clean") << size;
        EXPECT_EQ(Compare(effect, cut), size >= 78) << size;
    }
}

INSTANTIATE_TEST_SUITE_P(HostAutomation, EveryKind, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "HostConfirmsRequests" : "NoHostAutomation";
                         });
