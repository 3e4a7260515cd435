// The instance state file of `render --state-in/--state-out`:
//
//   bytes 0-7    "AAXHSTAT"
//   bytes 8-11   format version, 1 (little-endian unsigned 32-bit)
//   bytes 12-15  number of chunks (little-endian unsigned 32-bit, at most 64)
//   then per chunk:
//     4 bytes    chunk identifier (little-endian unsigned 32-bit)
//     4 bytes    record length in bytes (little-endian unsigned 32-bit)
//     the record, exactly as the module filled it: the 56-byte chunk header (fSize, fVersion,
//     manufacturer, product, plug-in and chunk identifiers, name) followed by fSize data bytes.
#pragma once

#include <string>
#include <vector>

#include "HostInstance.h"

namespace aaxhost {

// [main]
std::vector<uint8_t> EncodeStateFile(const std::vector<SavedChunk>& chunks);
// [main] False with a reason when the bytes are not a well-formed state file.
bool DecodeStateFile(const std::vector<uint8_t>& bytes, std::vector<SavedChunk>* chunks, std::string* error);

// Files larger than this are refused before they are read whole.
constexpr size_t kMostStateFileBytes = size_t{64} << 20;

// [main] Writes the file at path (the command gives a temporary path and renames it).
bool WriteStateFile(const std::string& path, const std::vector<SavedChunk>& chunks, std::string* error);
// [main] Checks the file's header before reading it whole, within kMostStateFileBytes.
bool ReadStateFile(const std::string& path, std::vector<SavedChunk>* chunks, std::string* error);

}  // namespace aaxhost
