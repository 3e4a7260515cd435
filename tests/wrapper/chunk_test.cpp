#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "interfaces/vst2.h"
#include "wrapper/WrapperInstance.h"

using ::testing::ElementsAre;
using testsupport::FakeHost;
using wrappertest::DataModel;

namespace {

constexpr int32_t kUniqueId = 0x41424344;

// A host-allocated record for dataSize bytes, followed by guard bytes that must stay intact.
class ChunkRecord {
public:
    static constexpr size_t kGuard = 32;
    static constexpr char kGuardByte = 0x5A;

    explicit ChunkRecord(size_t dataSize)
        : bytes_(AAX_PlugInChunkRecordSize(dataSize) + kGuard, kGuardByte), dataSize_(dataSize) {
        std::memset(bytes_.data(), 0, AAX_PlugInChunkRecordSize(dataSize));
    }
    AAX_SPlugInChunk* get() { return reinterpret_cast<AAX_SPlugInChunk*>(bytes_.data()); }
    std::vector<uint8_t> Data() const {
        const auto* chunk = reinterpret_cast<const AAX_SPlugInChunk*>(bytes_.data());
        const auto* first = reinterpret_cast<const uint8_t*>(chunk->fData);
        return std::vector<uint8_t>(first, first + (chunk->fSize > 0 ? chunk->fSize : 0));
    }
    bool GuardIntact() const {
        for (size_t i = AAX_PlugInChunkRecordSize(dataSize_); i < bytes_.size(); ++i) {
            if (bytes_[i] != kGuardByte) return false;
        }
        return true;
    }

private:
    std::vector<char> bytes_;
    size_t dataSize_;
};

class WrapperChunks : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(install.Ok()) << install.Error();
        effect.SetUniqueId(kUniqueId);
        effect.SetChunk({1, 2, 3, 4, 5, 6, 7});
    }

    TestEffectInstall install;
    RecordingEffect effect;
    FakeHost host;
};

}  // namespace

TEST_F(WrapperChunks, OneChunkUnderTheEffectsUniqueId) {
    DataModel model(install, &effect);
    int32_t count = 0;
    model->GetNumberOfChunks(&count);
    EXPECT_EQ(count, 1);
    AAX_CTypeID id = 0;
    EXPECT_EQ(model->GetChunkIDFromIndex(0, &id), AAX_SUCCESS);
    EXPECT_EQ(id, static_cast<AAX_CTypeID>(kUniqueId));
    id = 77;
    EXPECT_EQ(model->GetChunkIDFromIndex(1, &id), AAX_ERROR_INVALID_CHUNK_INDEX);
    EXPECT_EQ(id, 0u);

    uint32_t size = 55;
    EXPECT_EQ(model->GetChunkSize(kUniqueId + 1, &size), AAX_ERROR_INVALID_CHUNK_ID);
    EXPECT_EQ(size, 0u);
    ChunkRecord record(16);
    record.get()->fSize = 1234;
    EXPECT_EQ(model->GetChunk(kUniqueId + 1, record.get()), AAX_ERROR_INVALID_CHUNK_ID);
    EXPECT_EQ(record.get()->fSize, 1234);
    EXPECT_EQ(model->SetChunk(kUniqueId + 1, record.get()), AAX_ERROR_INVALID_CHUNK_ID);
    EXPECT_EQ(effect.CountOpcode(vst2::effSetChunk), 0u);
}

TEST_F(WrapperChunks, SaveCopiesTheEffectsBytesAndKeepsTheHostsHeader) {
    // Chunk calls work before initialisation: they need only the loaded effect.
    DataModel model(install, &effect);
    uint32_t size = 0;
    ASSERT_EQ(model->GetChunkSize(kUniqueId, &size), AAX_SUCCESS);
    EXPECT_EQ(size, 7u);

    ChunkRecord record(size);
    record.get()->fVersion = 3;
    record.get()->fChunkID = kUniqueId;
    std::memcpy(record.get()->fName, "host name", 10);
    ASSERT_EQ(model->GetChunk(kUniqueId, record.get()), AAX_SUCCESS);
    EXPECT_EQ(record.get()->fSize, 7);
    EXPECT_THAT(record.Data(), ElementsAre(1, 2, 3, 4, 5, 6, 7));
    EXPECT_EQ(record.get()->fVersion, 3);
    EXPECT_EQ(record.get()->fChunkID, static_cast<AAX_CTypeID>(kUniqueId));
    EXPECT_STREQ(reinterpret_cast<const char*>(record.get()->fName), "host name");
    EXPECT_TRUE(record.GuardIntact());
    for (const auto& call : effect.CallsWithOpcode(vst2::effGetChunk)) {
        EXPECT_EQ(call.index, 0) << "the bank chunk, not a program";
    }

    // The base's comparison reports the wrapper's chunk equal.
    bool equal = false;
    EXPECT_EQ(model->CompareActiveChunk(record.get(), &equal), AAX_SUCCESS);
    EXPECT_TRUE(equal);
}

TEST_F(WrapperChunks, AChunkThatGrewAfterItsSizeWasReportedIsRefusedNotOverrun) {
    DataModel model(install, &effect);
    ChunkRecord unsized(64);
    EXPECT_EQ(model->GetChunk(kUniqueId, unsized.get()), AAX_ERROR_INCORRECT_CHUNK_SIZE)
        << "without a reported size the record's capacity is unknown";

    uint32_t size = 0;
    ASSERT_EQ(model->GetChunkSize(kUniqueId, &size), AAX_SUCCESS);
    ChunkRecord record(size);
    record.get()->fSize = 1234;
    effect.SetChunk(std::vector<uint8_t>(100, 9));
    EXPECT_EQ(model->GetChunk(kUniqueId, record.get()), AAX_ERROR_INCORRECT_CHUNK_SIZE);
    EXPECT_EQ(record.get()->fSize, 1234) << "nothing written";
    EXPECT_TRUE(record.GuardIntact());

    // A chunk that shrank fits and is copied whole.
    effect.SetChunk({8, 9});
    ASSERT_EQ(model->GetChunk(kUniqueId, record.get()), AAX_SUCCESS);
    EXPECT_THAT(record.Data(), ElementsAre(8, 9));
    EXPECT_TRUE(record.GuardIntact());
}

TEST_F(WrapperChunks, ALengthThatIsNegativeOrBeyondThirtyTwoBitsIsRefusedNotCut) {
    constexpr intptr_t kFourGiB = static_cast<intptr_t>(1) << 32;
    for (const intptr_t length : {kFourGiB + 16, 16 - kFourGiB, intptr_t{-1}}) {
        SCOPED_TRACE(length);
        RecordingEffect wide;
        wide.SetUniqueId(kUniqueId);
        wide.SetChunk(std::vector<uint8_t>(16, 3));
        DataModel model(install, &wide);
        uint32_t size = 0;
        ASSERT_EQ(model->GetChunkSize(kUniqueId, &size), AAX_SUCCESS);
        ASSERT_EQ(size, 16u);

        // The effect's answer no longer fits a 32-bit size (its low bits, 16, would fit the
        // record), or is negative (as an unsigned size, about 4 GiB).
        wide.SetAnswer(vst2::effGetChunk, length);
        ChunkRecord record(size);
        record.get()->fSize = 1234;
        EXPECT_EQ(model->GetChunk(kUniqueId, record.get()), AAX_ERROR_INCORRECT_CHUNK_SIZE);
        EXPECT_EQ(record.get()->fSize, 1234);
        EXPECT_TRUE(record.GuardIntact());
        size = 77;
        EXPECT_EQ(model->GetChunkSize(kUniqueId, &size), AAX_ERROR_INCORRECT_CHUNK_SIZE);
        EXPECT_EQ(size, 77u);
    }
}

TEST_F(WrapperChunks, FirstRestoreAsksForTheChunkOnceThenOnlySetsIt) {
    DataModel model(install, &effect);
    ASSERT_EQ(model->chunkSizeBeforeRestore, 0);
    ChunkRecord record(3);
    record.get()->fSize = 3;
    std::memcpy(record.get()->fData, "\x0A\x0B\x0C", 3);

    ASSERT_EQ(model->SetChunk(kUniqueId, record.get()), AAX_SUCCESS);
    EXPECT_THAT(effect.Opcodes(), ElementsAre(vst2::effGetChunk, vst2::effSetChunk));
    EXPECT_EQ(model->chunkSizeBeforeRestore, 7);
    EXPECT_THAT(effect.receivedChunk, ElementsAre(0x0A, 0x0B, 0x0C));
    const auto set = effect.CallsWithOpcode(vst2::effSetChunk);
    EXPECT_EQ(set.at(0).index, 0);
    EXPECT_EQ(set.at(0).value, 3);

    effect.ClearRecords();
    ASSERT_EQ(model->SetChunk(kUniqueId, record.get()), AAX_SUCCESS);
    EXPECT_THAT(effect.Opcodes(), ElementsAre(vst2::effSetChunk));

    // A negative size is refused before anything reaches the effect.
    effect.ClearRecords();
    record.get()->fSize = -5;
    EXPECT_EQ(model->SetChunk(kUniqueId, record.get()), AAX_ERROR_INCORRECT_CHUNK_SIZE);
    EXPECT_TRUE(effect.calls.empty());
}

TEST_F(WrapperChunks, StateRoundTripsThroughTheEffectAfterInitialisation) {
    DataModel model(install, &effect);
    ASSERT_EQ(model.Initialize(host), AAX_SUCCESS);
    uint32_t size = 0;
    ASSERT_EQ(model->GetChunkSize(kUniqueId, &size), AAX_SUCCESS);
    ChunkRecord saved(size);
    ASSERT_EQ(model->GetChunk(kUniqueId, saved.get()), AAX_SUCCESS);

    effect.SetChunk({42});
    ASSERT_EQ(model->SetChunk(kUniqueId, saved.get()), AAX_SUCCESS);
    EXPECT_THAT(effect.receivedChunk, ElementsAre(1, 2, 3, 4, 5, 6, 7));
    model->Uninitialize();
}
