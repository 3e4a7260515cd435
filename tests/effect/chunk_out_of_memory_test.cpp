// Running out of memory while the controls-state chunk is built or read must not hand the host
// a chunk that silently lacks entries, nor apply part of one.
#include <gtest/gtest.h>

#include <cstring>

#include "ChunkRecord.h"
#include "TestEffect.h"
#include "support/FailingAllocations.h"

namespace {

constexpr AAX_CTypeID kElck = AAX_FourCC('e', 'l', 'c', 'k');

}  // namespace

TEST(ControlsStateChunkMemory, AParserThatRanOutOfMemoryRefusesToSerialize) {
    AAX_CChunkDataParser parser;
    ASSERT_TRUE(parser.AddDouble("Gain", 0.5));
    {
        AllocationFailure failing;
        EXPECT_FALSE(parser.AddDouble("A name too long for any small-string buffer", 0.25));
    }
    EXPECT_EQ(parser.Entries().size(), 1u);
    ChunkRecord record(static_cast<size_t>(parser.GetChunkDataSize()));
    record.Get()->fSize = 12345;
    EXPECT_EQ(parser.GetChunkData(record.Get()), AAX_ERROR_PLUGIN_OUT_OF_MEMORY);
    EXPECT_EQ(record.Get()->fSize, 12345);  // untouched

    parser.Clear();
    EXPECT_TRUE(parser.AddDouble("Gain", 0.5));
    record.Get()->fSize = 0;
    EXPECT_EQ(parser.GetChunkData(record.Get()), AAX_SUCCESS);
    EXPECT_EQ(record.Get()->fSize, 20);
}

TEST(ControlsStateChunkMemory, GetChunkAnswersOutOfMemoryInsteadOfAShortChunk) {
    TestEffect effect;
    effect.Add(MakeFloatParameter("An identifier of 24 chars", 0.5f));
    uint32_t size = 0;
    ASSERT_EQ(effect.GetChunkSize(kElck, &size), AAX_SUCCESS);
    ChunkRecord record(size);
    std::memset(record.Data(), 0xAA, size);
    {
        AllocationFailure failing;
        EXPECT_EQ(effect.GetChunk(kElck, record.Get()), AAX_ERROR_PLUGIN_OUT_OF_MEMORY);
    }
    EXPECT_EQ(record.Data()[0], 0xAA);
    EXPECT_EQ(effect.GetChunk(kElck, record.Get()), AAX_SUCCESS);
    EXPECT_EQ(record.Data()[0], 0x01);
}

TEST(ControlsStateChunkMemory, SetChunkThatRunsOutOfMemoryChangesNothingAndSaysSo) {
    TestEffect effect;
    effect.Add(MakeFloatParameter("Gain", 0.5f));
    effect.Add(MakeFloatParameter("A second identifier, long enough to allocate", 0.5f));
    uint32_t size = 0;
    ASSERT_EQ(effect.GetChunkSize(kElck, &size), AAX_SUCCESS);
    ChunkRecord saved(size);
    ASSERT_EQ(effect.GetChunk(kElck, saved.Get()), AAX_SUCCESS);
    effect.Parameter("Gain")->SetNormalizedValue(0.9);

    // Whichever allocation of the read fails, the restore is refused as a whole: no entry read
    // before the failure is applied.
    for (int64_t allowed = 0;; ++allowed) {
        SCOPED_TRACE(allowed);
        AAX_Result result = AAX_SUCCESS;
        bool triggered = false;
        {
            AllocationFailure failing(allowed);
            result = effect.SetChunk(kElck, saved.Get());
            triggered = failing.Triggered();
        }
        if (!triggered) {
            EXPECT_EQ(result, AAX_SUCCESS);
            EXPECT_FLOAT_EQ(static_cast<float>(effect.Parameter("Gain")->GetNormalizedValue()), 0.5f);
            break;
        }
        EXPECT_EQ(result, AAX_ERROR_PLUGIN_OUT_OF_MEMORY);
        EXPECT_FLOAT_EQ(static_cast<float>(effect.Parameter("Gain")->GetNormalizedValue()), 0.9f);
    }
}
