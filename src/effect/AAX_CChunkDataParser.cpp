#include "effect/AAX_CChunkDataParser.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr uint8_t kMarkerByte = 0x01;
constexpr size_t kMarkerSize = 4;
constexpr size_t kMaxLabelBytes = 256;  // 255 characters and the zero byte
// Written for untyped entries, which exist only after a load; reads back as untyped.
constexpr char kUntypedLetter = '?';

constexpr size_t Align4(size_t n) { return (n + 3) & ~static_cast<size_t>(3); }

char LetterOf(int32_t type) {
    switch (type) {
        case ChunkEntry::kFloat: return 'f';
        case ChunkEntry::kInt32: return 'l';
        case ChunkEntry::kDouble: return 'd';
        case ChunkEntry::kInt16: return 's';
        case ChunkEntry::kString: return 'r';
        default: return kUntypedLetter;
    }
}

size_t ValueSize(const ChunkEntry& entry) {
    switch (entry.type) {
        case ChunkEntry::kDouble: return 8;
        case ChunkEntry::kFloat:
        case ChunkEntry::kInt32:
        case ChunkEntry::kInt16: return 4;
        case ChunkEntry::kString: return Align4(entry.stringValue.size() + 1);
        default: return 0;
    }
}

// The record's data bytes, addressed through a pointer so that no array bound applies.
uint8_t* DataOf(AAX_SPlugInChunk* chunk) {
    return reinterpret_cast<uint8_t*>(chunk) + offsetof(AAX_SPlugInChunk, fData);
}
const uint8_t* DataOf(const AAX_SPlugInChunk* chunk) {
    return reinterpret_cast<const uint8_t*>(chunk) + offsetof(AAX_SPlugInChunk, fData);
}

void WriteBigEndian(uint8_t* out, uint64_t value, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
}

uint64_t ReadBigEndian(const uint8_t* in, size_t bytes) {
    uint64_t value = 0;
    for (size_t i = 0; i < bytes; ++i) value = (value << 8) | in[i];
    return value;
}

uint64_t TotalSize(const std::vector<ChunkEntry>& entries) {
    uint64_t size = kMarkerSize;
    for (const ChunkEntry& entry : entries) size += Align4(entry.name.size() + 3) + ValueSize(entry);
    return size;
}

}  // namespace

void AAX_CChunkDataParser::Clear() {
    mEntries.clear();
    mLastFoundIndex = -1;
    mChunkVersion = -1;
    mIncomplete = false;
}

bool AAX_CChunkDataParser::Append(ChunkEntry::Type type, AAX_CParamID id, uint64_t value,
                                  const char* stringValue) {
    // A chunk missing an entry must never pass for a complete one, so running out of memory is
    // remembered here and answered by GetChunkData.
    try {
        ChunkEntry entry;
        entry.type = type;
        entry.name = id != nullptr ? id : "";
        entry.value = value;
        if (stringValue != nullptr) entry.stringValue = stringValue;
        mEntries.push_back(std::move(entry));
        return true;
    } catch (const std::bad_alloc&) {
        mIncomplete = true;
        return false;
    }
}

bool AAX_CChunkDataParser::AddDouble(AAX_CParamID id, double value) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return Append(ChunkEntry::kDouble, id, bits, nullptr);
}

bool AAX_CChunkDataParser::AddInt32(AAX_CParamID id, int32_t value) {
    return Append(ChunkEntry::kInt32, id, static_cast<uint32_t>(value), nullptr);
}

bool AAX_CChunkDataParser::AddString(AAX_CParamID id, const char* value) {
    return Append(ChunkEntry::kString, id, 0, value != nullptr ? value : "");
}

int32_t AAX_CChunkDataParser::GetChunkDataSize() const {
    const uint64_t size = TotalSize(mEntries);
    constexpr uint64_t kLargest = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::min(size, kLargest));
}

AAX_Result AAX_CChunkDataParser::GetChunkData(AAX_SPlugInChunk* chunk) const {
    if (chunk == nullptr) return AAX_ERROR_NULL_OBJECT;
    const uint64_t size = TotalSize(mEntries);
    if (mIncomplete || size > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        return AAX_ERROR_PLUGIN_OUT_OF_MEMORY;
    }

    chunk->fSize = static_cast<int32_t>(size);
    uint8_t* const data = DataOf(chunk);
    std::memset(data, 0, static_cast<size_t>(size));
    std::memset(data, kMarkerByte, kMarkerSize);

    size_t position = kMarkerSize;
    for (const ChunkEntry& entry : mEntries) {
        data[position] = static_cast<uint8_t>(LetterOf(entry.type));
        data[position + 1] = '_';
        std::memcpy(data + position + 2, entry.name.data(), entry.name.size());
        position += Align4(entry.name.size() + 3);  // the zero byte and padding are already there
        switch (entry.type) {
            case ChunkEntry::kDouble: WriteBigEndian(data + position, entry.value, 8); break;
            case ChunkEntry::kFloat:
            case ChunkEntry::kInt32: WriteBigEndian(data + position, entry.value, 4); break;
            case ChunkEntry::kInt16: WriteBigEndian(data + position, entry.value, 2); break;
            case ChunkEntry::kString:
                std::memcpy(data + position, entry.stringValue.data(), entry.stringValue.size());
                break;
            default: break;
        }
        position += ValueSize(entry);
    }
    return AAX_SUCCESS;
}

void AAX_CChunkDataParser::LoadChunk(const AAX_SPlugInChunk* chunk) {
    Clear();
    if (chunk == nullptr) return;
    mChunkVersion = chunk->fVersion;
    if (chunk->fSize < 5) return;

    const uint8_t* const data = DataOf(chunk);
    const size_t end = static_cast<size_t>(chunk->fSize);
    for (size_t i = 0; i < kMarkerSize; ++i) {
        if (data[i] != kMarkerByte) return;
    }

    size_t position = kMarkerSize;
    while (position < end) {
        const size_t labelWindow = std::min(end - position, kMaxLabelBytes);
        const auto* labelEnd = static_cast<const uint8_t*>(std::memchr(data + position, 0, labelWindow));
        if (labelEnd == nullptr) return;  // unterminated or longer than 255 characters
        const size_t labelLength = static_cast<size_t>(labelEnd - (data + position));
        const size_t valueStart = Align4(position + labelLength + 1);
        const char letter = labelLength > 0 ? static_cast<char>(data[position]) : '\0';

        ChunkEntry::Type type = ChunkEntry::kNone;
        uint64_t value = 0;
        const char* stringValue = nullptr;
        size_t stringLength = 0;
        size_t next = valueStart;
        auto readFixed = [&](ChunkEntry::Type fixedType, size_t readBytes, size_t valueBytes) {
            if (valueStart > end || end - valueStart < readBytes) return false;
            type = fixedType;
            value = ReadBigEndian(data + valueStart, readBytes);
            next = valueStart + valueBytes;
            return true;
        };
        switch (letter) {
            case 'd':
                if (!readFixed(ChunkEntry::kDouble, 8, 8)) return;
                break;
            case 'f':
                if (!readFixed(ChunkEntry::kFloat, 4, 4)) return;
                break;
            case 'l':
                if (!readFixed(ChunkEntry::kInt32, 4, 4)) return;
                break;
            case 's':
                if (!readFixed(ChunkEntry::kInt16, 2, 4)) return;
                break;
            case 'r': {
                if (valueStart >= end) return;
                const auto* stringEnd =
                    static_cast<const uint8_t*>(std::memchr(data + valueStart, 0, end - valueStart));
                if (stringEnd == nullptr) return;
                type = ChunkEntry::kString;
                stringValue = reinterpret_cast<const char*>(data + valueStart);
                stringLength = static_cast<size_t>(stringEnd - (data + valueStart));
                next = Align4(valueStart + stringLength + 1);
                break;
            }
            default: break;  // untyped: the next label starts where a value would
        }

        try {
            ChunkEntry entry;
            entry.type = type;
            if (labelLength > 2) entry.name.assign(reinterpret_cast<const char*>(data + position + 2), labelLength - 2);
            entry.value = value;
            if (stringValue != nullptr) entry.stringValue.assign(stringValue, stringLength);
            mEntries.push_back(std::move(entry));
        } catch (const std::bad_alloc&) {
            // Unlike data that ends early, this record holds more than was read.
            mIncomplete = true;
            return;
        }
        position = next;
    }
}

int32_t AAX_CChunkDataParser::FindEntryIndex(AAX_CParamID id) {
    if (id == nullptr) return -1;
    const auto count = static_cast<int32_t>(mEntries.size());
    if (mLastFoundIndex >= count - 1) mLastFoundIndex = -1;
    for (int32_t i = mLastFoundIndex + 1; i < count; ++i) {
        if (mEntries[static_cast<size_t>(i)].name == id) return mLastFoundIndex = i;
    }
    for (int32_t i = 0; i <= mLastFoundIndex; ++i) {
        if (mEntries[static_cast<size_t>(i)].name == id) return mLastFoundIndex = i;
    }
    return -1;
}

bool AAX_CChunkDataParser::FindDouble(AAX_CParamID id, double* value) {
    const int32_t index = FindEntryIndex(id);
    if (index < 0 || value == nullptr) return false;
    const ChunkEntry& entry = mEntries[static_cast<size_t>(index)];
    if (entry.type != ChunkEntry::kDouble) return false;
    std::memcpy(value, &entry.value, sizeof(double));
    return true;
}

bool AAX_CChunkDataParser::FindInt32(AAX_CParamID id, int32_t* value) {
    const int32_t index = FindEntryIndex(id);
    if (index < 0 || value == nullptr) return false;
    const ChunkEntry& entry = mEntries[static_cast<size_t>(index)];
    if (entry.type != ChunkEntry::kInt32) return false;
    *value = static_cast<int32_t>(static_cast<uint32_t>(entry.value));
    return true;
}

bool AAX_CChunkDataParser::FindString(AAX_CParamID id, AAX_IString* value) {
    const int32_t index = FindEntryIndex(id);
    if (index < 0 || value == nullptr) return false;
    const ChunkEntry& entry = mEntries[static_cast<size_t>(index)];
    if (entry.type != ChunkEntry::kString) return false;
    value->Set(entry.stringValue.c_str());
    return true;
}
