#include "StateChunk.h"

#include <cmath>
#include <cstring>

namespace vantrelo {
namespace {

void AppendU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
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
    out.clear();
    out.insert(out.end(), kChunkMagic, kChunkMagic + 4);
    AppendU32(out, kChunkVersion);
    AppendU32(out, kNumParameters);
    for (int32_t i = 0; i < kNumParameters; ++i) {
        const char* identifier = kParameterInfo[i].identifier;
        const size_t length = std::strlen(identifier);
        out.push_back(static_cast<uint8_t>(length));
        out.insert(out.end(), identifier, identifier + length);
        uint32_t bits = 0;
        std::memcpy(&bits, &values[static_cast<size_t>(i)], sizeof bits);
        AppendU32(out, bits);
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
