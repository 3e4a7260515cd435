// Running out of memory while the controls-state chunk is built must not hand the host a
// chunk that silently lacks entries. This file replaces the process's operator new so that a
// test can make allocations on its own thread fail.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "ChunkRecord.h"
#include "TestEffect.h"

namespace {

thread_local bool gFailAllocations = false;

class FailingAllocations {
public:
    FailingAllocations() { gFailAllocations = true; }
    ~FailingAllocations() { gFailAllocations = false; }
    FailingAllocations(const FailingAllocations&) = delete;
    FailingAllocations& operator=(const FailingAllocations&) = delete;
};

void* Allocate(std::size_t size) {
    if (gFailAllocations) return nullptr;
    return std::malloc(size != 0 ? size : 1);
}

constexpr AAX_CTypeID kElck = AAX_FourCC('e', 'l', 'c', 'k');

}  // namespace

void* operator new(std::size_t size) {
    if (void* block = Allocate(size)) return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

TEST(ControlsStateChunkMemory, AParserThatRanOutOfMemoryRefusesToSerialize) {
    AAX_CChunkDataParser parser;
    ASSERT_TRUE(parser.AddDouble("Gain", 0.5));
    {
        FailingAllocations failing;
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
        FailingAllocations failing;
        EXPECT_EQ(effect.GetChunk(kElck, record.Get()), AAX_ERROR_PLUGIN_OUT_OF_MEMORY);
    }
    EXPECT_EQ(record.Data()[0], 0xAA);
    EXPECT_EQ(effect.GetChunk(kElck, record.Get()), AAX_SUCCESS);
    EXPECT_EQ(record.Data()[0], 0x01);
}
