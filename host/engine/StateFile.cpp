#include "StateFile.h"

#include <cstring>
#include <fstream>

#include "FileAccess.h"

namespace aaxhost {

namespace {

constexpr char kMagic[8] = {'A', 'A', 'X', 'H', 'S', 'T', 'A', 'T'};
constexpr uint32_t kVersion = 1;
constexpr uint32_t kMostChunks = 64;
constexpr size_t kHeaderSize = offsetof(AAX_SPlugInChunk, fData);

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

bool Fail(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

}  // namespace

std::vector<uint8_t> EncodeStateFile(const std::vector<SavedChunk>& chunks) {
    std::vector<uint8_t> out(kMagic, kMagic + sizeof kMagic);
    Put32(out, kVersion);
    Put32(out, static_cast<uint32_t>(chunks.size()));
    for (const SavedChunk& chunk : chunks) {
        Put32(out, chunk.id);
        Put32(out, static_cast<uint32_t>(chunk.record.size()));
        out.insert(out.end(), chunk.record.begin(), chunk.record.end());
    }
    return out;
}

namespace {

// The 16 bytes before the first chunk.
bool CheckHeader(const std::vector<uint8_t>& bytes, std::string* error) {
    if (bytes.size() < 16 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        return Fail(error, "not an aaxhost state file");
    }
    if (Get32(bytes.data() + 8) != kVersion) return Fail(error, "unsupported state file version");
    if (Get32(bytes.data() + 12) > kMostChunks) return Fail(error, "state file lists too many chunks");
    return true;
}

}  // namespace

bool DecodeStateFile(const std::vector<uint8_t>& bytes, std::vector<SavedChunk>* chunks, std::string* error) {
    chunks->clear();
    if (!CheckHeader(bytes, error)) return false;
    const uint32_t count = Get32(bytes.data() + 12);
    size_t pos = 16;
    for (uint32_t i = 0; i < count; ++i) {
        if (bytes.size() - pos < 8) return Fail(error, "state file is truncated");
        SavedChunk chunk;
        chunk.id = Get32(bytes.data() + pos);
        const uint32_t length = Get32(bytes.data() + pos + 4);
        pos += 8;
        if (length < kHeaderSize || bytes.size() - pos < length) return Fail(error, "state file chunk is truncated");
        chunk.record.assign(bytes.begin() + static_cast<ptrdiff_t>(pos),
                            bytes.begin() + static_cast<ptrdiff_t>(pos + length));
        pos += length;
        const int32_t size = chunk.DataSize();
        if (size < 0 || static_cast<size_t>(size) != length - kHeaderSize) {
            return Fail(error, "state file chunk size does not match its record");
        }
        chunks->push_back(std::move(chunk));
    }
    if (pos != bytes.size()) return Fail(error, "state file has trailing bytes");
    return true;
}

bool WriteStateFile(const std::string& path, const std::vector<SavedChunk>& chunks, std::string* error) {
    const std::vector<uint8_t> bytes = EncodeStateFile(chunks);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) return Fail(error, "cannot write " + path);
    return true;
}

bool ReadStateFile(const std::string& path, std::vector<SavedChunk>* chunks, std::string* error) {
    if (!CheckReadableFile(path, error)) return false;
    std::vector<uint8_t> bytes;
    std::string reason;
    if (!ReadFilePrefix(path, 16, &bytes, error)) return false;
    if (!CheckHeader(bytes, &reason)) return Fail(error, path + ": " + reason);
    if (!ReadFileBounded(path, kMostStateFileBytes, "a state file", &bytes, error)) return false;
    if (!DecodeStateFile(bytes, chunks, &reason)) return Fail(error, path + ": " + reason);
    return true;
}

}  // namespace aaxhost
