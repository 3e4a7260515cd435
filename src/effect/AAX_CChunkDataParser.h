// The controls-state chunk: every parameter's value under its identifier, in a self-describing
// big-endian layout inside the host's chunk record.
//
// Data layout (offsets relative to fData; every entry starts at a multiple of 4):
//   0..3    marker 01 01 01 01
//   entries, one after another, with no count and no terminator:
//     label  type letter, '_', identifier bytes, a zero byte, zero bytes up to a multiple of 4
//            ('f' float, 'l' int32, 'd' double, 's' int16, 'r' string)
//     value  most significant byte first:
//            'd' 8 bytes; 'f' and 'l' 4 bytes; 's' 2 bytes then 2 zero bytes;
//            'r' the string's bytes, a zero byte, zero bytes up to a multiple of 4.
//   fSize is the end of the last entry: a multiple of 4, at least 4.
//
// Reading damaged data. The host's record holds fSize bytes of data (none when fSize is
// negative), and the reader never touches a byte at or past fSize. LoadChunk keeps every whole
// entry up to the first one that does not fit and stops there:
//   - fSize below 5, or a missing marker: no entries;
//   - a label with no zero byte among its first 256 bytes (at most 255 characters) or before
//     fSize ends the load, and so does a value or string that starts inside the data but whose
//     bytes run past fSize (for 's', the two value bytes that are read); that entry is dropped;
//   - a label whose letter is none of the five is an untyped entry: no value is read and the
//     next label starts where its value would have started;
//   - the name is the label from its third character on (empty for labels shorter than that).
// Parameters with no entry therefore keep their values when the chunk is applied.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "interfaces/aax_effect.h"
#include "interfaces/aax_string.h"
#include "interfaces/acf.h"

// The chunk's identifier 'elck' and the name written into fName.
constexpr AAX_CTypeID AAX_ChunkID_ControlsState = AAX_FourCC('e', 'l', 'c', 'k');
constexpr const char* AAX_ChunkName_ControlsState = "Complete Controls State";

struct ChunkEntry {
    enum Type : int32_t {
        kNone = 0,
        kFloat = 1,
        kInt32 = 2,
        kDouble = 3,
        kInt16 = 4,
        kString = 5,
    };
    int32_t type = kNone;
    std::string name;
    // The double's bits; the float's bits, the int32 or the int16 zero-extended; 0 for strings.
    uint64_t value = 0;
    std::string stringValue;
};

class AAX_CChunkDataParser {
public:
    AAX_CChunkDataParser() = default;

    // [main] Empties the entries; no last found index, no chunk version.
    void Clear();

    // [main] Each appends one entry. False, with the entry left out, when memory runs out; the
    // parser then refuses to serialize until the next Clear.
    bool AddDouble(AAX_CParamID id, double value);
    bool AddInt32(AAX_CParamID id, int32_t value);
    bool AddString(AAX_CParamID id, const char* value);

    // [main] Bytes of data that GetChunkData writes: the marker plus each entry, aligned.
    int32_t GetChunkDataSize() const;

    // [main] Sets fSize to GetChunkDataSize, zeroes and writes that many bytes of fData. The record
    // must hold them. AAX_ERROR_PLUGIN_OUT_OF_MEMORY, with the record untouched, when building the
    // entries ran out of memory or the data would not fit a 32-bit size; AAX_ERROR_NULL_OBJECT for
    // a null record.
    AAX_Result GetChunkData(AAX_SPlugInChunk* chunk) const;

    // [main] Replaces the entries with what the record holds (see the rules above) and takes the
    // chunk version from fVersion. A null record only clears. Running out of memory keeps the
    // entries read so far and leaves the parser incomplete (IsComplete).
    void LoadChunk(const AAX_SPlugInChunk* chunk);

    // [main] Each succeeds only for an entry of its own type: double (3), int32 (2), string (5).
    // The output is untouched on failure.
    bool FindDouble(AAX_CParamID id, double* value);
    bool FindInt32(AAX_CParamID id, int32_t* value);
    bool FindString(AAX_CParamID id, AAX_IString* value);

    // [main] Index of the entry named id, searching on from the last hit and then wrapping round,
    // so that reading entries in the order they were written finds each at the first comparison.
    // -1 when none.
    int32_t FindEntryIndex(AAX_CParamID id);

    // [main] False after an Add or a LoadChunk ran out of memory, until the next Clear.
    bool IsComplete() const { return !mIncomplete; }
    // [main] The version of the last loaded chunk; -1 after Clear.
    int32_t GetChunkVersion() const { return mChunkVersion; }
    // [main] The start hint of the next search; -1 when there is none.
    int32_t GetLastFoundIndex() const { return mLastFoundIndex; }
    // [main] The entries of the last build or load, in order.
    const std::vector<ChunkEntry>& Entries() const { return mEntries; }

private:
    bool Append(ChunkEntry::Type type, AAX_CParamID id, uint64_t value, const char* stringValue);

    int32_t mLastFoundIndex = -1;
    int32_t mChunkVersion = -1;
    std::vector<ChunkEntry> mEntries;
    bool mIncomplete = false;  // an Add or a load ran out of memory since the last Clear
};
