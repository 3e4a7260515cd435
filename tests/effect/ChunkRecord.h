// A chunk record allocated exactly as a host allocates it: the header and fSize data bytes, no
// more, so that the sanitizers see any read or write past the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "interfaces/aax_effect.h"

class ChunkRecord {
public:
    explicit ChunkRecord(size_t dataSize)
        : mSize(AAX_PlugInChunkRecordSize(dataSize)), mBytes(new uint8_t[mSize]()) {
        Get()->fSize = static_cast<int32_t>(dataSize);
    }
    // A record holding a copy of the bytes, with fSize set to their count.
    static ChunkRecord WithData(const std::vector<uint8_t>& data) {
        ChunkRecord record(data.size());
        if (!data.empty()) std::memcpy(record.Data(), data.data(), data.size());
        return record;
    }

    AAX_SPlugInChunk* Get() { return reinterpret_cast<AAX_SPlugInChunk*>(mBytes.get()); }
    uint8_t* Data() { return mBytes.get() + offsetof(AAX_SPlugInChunk, fData); }
    // The first fSize data bytes (none for a negative fSize).
    std::vector<uint8_t> DataBytes() {
        const int32_t size = Get()->fSize;
        return size > 0 ? std::vector<uint8_t>(Data(), Data() + size) : std::vector<uint8_t>();
    }

private:
    size_t mSize;
    std::unique_ptr<uint8_t[]> mBytes;
};
