#include "StateChunk.h"

#include <cmath>
#include <cstring>

namespace vantrelo {
namespace {

void StoreU32(uint8_t* at, uint32_t value) {
    for (int byte = 0; byte < 4; ++byte) at[byte] = static_cast<uint8_t>(value >> (8 * byte));
}

uint32_t ReadU32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

int32_t FindParameter(const uint8_t* name, size_t length) {
    for (int32_t i = 0; i < kNumParameters; ++i) {
        const char* identifier = kParameterInfo[i].identifier;
        if (std::strlen(identifier) == length && std::memcmp(identifier, name, length) == 0) return i;
    }
    return -1;
}

}  // namespace

void WriteStateChunk(const ParameterValues& values, std::vector<uint8_t>& out) {
    size_t size = static_cast<size_t>(kChunkHeaderSize);
    for (const ParameterInfo& info : kParameterInfo) size += 1 + std::strlen(info.identifier) + 4;
    out.assign(size, 0);
    uint8_t* at = out.data();
    std::memcpy(at, kChunkMagic, 4);
    StoreU32(at + 4, kChunkVersion);
    StoreU32(at + 8, kNumParameters);
    at += kChunkHeaderSize;
    for (int32_t i = 0; i < kNumParameters; ++i) {
        const char* identifier = kParameterInfo[i].identifier;
        const size_t length = std::strlen(identifier);
        *at++ = static_cast<uint8_t>(length);
        std::memcpy(at, identifier, length);
        at += length;
        uint32_t bits = 0;
        std::memcpy(&bits, &values[static_cast<size_t>(i)], sizeof bits);
        StoreU32(at, bits);
        at += 4;
    }
}

bool ReadStateChunk(const void* data, intptr_t size, ParsedState& parsed) {
    if (data == nullptr || size < kChunkHeaderSize || size > kMaxChunkSize) return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    const size_t end = static_cast<size_t>(size);
    if (std::memcmp(bytes, kChunkMagic, 4) != 0) return false;
    const uint32_t version = ReadU32(bytes + 4);
    if (version == 0 || version > kChunkVersion) return false;
    const uint32_t count = ReadU32(bytes + 8);
    if (count > kMaxChunkEntries) return false;

    parsed = ParsedState{};
    size_t at = static_cast<size_t>(kChunkHeaderSize);
    for (uint32_t entry = 0; entry < count; ++entry) {
        if (at >= end) return false;
        const size_t length = bytes[at++];
        if (length == 0 || length > 31 || end - at < length + 4) return false;
        const int32_t index = FindParameter(bytes + at, length);
        at += length;
        const uint32_t bits = ReadU32(bytes + at);
        at += 4;
        float value = 0.0f;
        std::memcpy(&value, &bits, sizeof value);
        if (std::isnan(value)) return false;
        if (index >= 0) {
            parsed.values[static_cast<size_t>(index)] = ClampUnit(value);
            parsed.present[static_cast<size_t>(index)] = true;
        }
    }
    return at == end;
}

}  // namespace vantrelo
