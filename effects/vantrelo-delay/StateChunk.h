// The effect's saved state. Layout, all integers little-endian:
//   bytes 0-3   magic "VtDs"
//   bytes 4-7   format version (1)
//   bytes 8-11  entry count
//   then per entry: one byte identifier length (1 to 31), the identifier's bytes (no NUL),
//   and the value as the four bytes of a 32-bit IEEE float.
// Entries are keyed by identifier, so parameters may be added or reordered in later versions
// without breaking older states.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "DelayParameters.h"

namespace vantrelo {

constexpr uint8_t kChunkMagic[4] = {'V', 't', 'D', 's'};
constexpr uint32_t kChunkVersion = 1;
constexpr intptr_t kChunkHeaderSize = 12;
// Far above any state this effect writes; larger sizes are treated as corrupt.
constexpr intptr_t kMaxChunkSize = 64 * 1024;
constexpr uint32_t kMaxChunkEntries = 256;

using ParameterValues = std::array<float, kNumParameters>;

struct ParsedState {
    ParameterValues values{};
    std::array<bool, kNumParameters> present{};
};

// [main] Replaces `out` with the chunk for `values`.
void WriteStateChunk(const ParameterValues& values, std::vector<uint8_t>& out);

// [main] Parses a chunk. Returns false, with `parsed` unspecified, when the data is null, the
// size is negative, smaller than the header or above kMaxChunkSize, the magic or version is
// not ours, an entry runs past the end, a value is NaN, or bytes are left over. Otherwise
// marks each known identifier as present with its value clamped into [0, 1]; unknown
// identifiers are skipped, and a repeated identifier keeps its last value.
bool ReadStateChunk(const void* data, intptr_t size, ParsedState& parsed);

}  // namespace vantrelo
