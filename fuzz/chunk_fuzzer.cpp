// Feeds arbitrary chunk records to SetChunk and CompareActiveChunk of a data model with float
// and bool parameters (and a filtered master bypass), then checks that saving the resulting
// state and comparing it again reports equal.
//
// Input: byte 0 flags, byte 1 size tweak, bytes 2..5 fVersion, the rest the record's data.
//   flags & 3   0 or 3: fSize is the data's length and the record holds exactly that much;
//               1: fSize is shorter than what the record holds, by (byte 1 % (length + 1));
//               2: fSize is negative, -(byte 1) - 1, or INT32_MIN for 255.
//   flags & 4   the record's fChunkID is not 'elck'.
//   flags & 8   SetChunk is called with another chunk identifier (and must refuse it).
//   flags & 16  the data is preceded by the marker 01 01 01 01.
//
// With AAXW_FUZZ_WRITE_SEEDS set to a folder, the target writes seed inputs there (chunks saved
// from a few states of the same data model, and some cut short) and exits.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "effect/AAX_CEffectParameters.h"
#include "params/AAX_CBinaryDisplayDelegate.h"
#include "params/AAX_CBinaryTaperDelegate.h"
#include "params/AAX_CLinearTaperDelegate.h"
#include "params/AAX_CNumberDisplayDelegate.h"
#include "params/AAX_CParameter.h"

namespace {

constexpr AAX_CTypeID kElck = AAX_FourCC('e', 'l', 'c', 'k');
constexpr AAX_CTypeID kOther = AAX_FourCC('V', 't', 'r', 'l');
constexpr size_t kHeaderBytes = 6;
constexpr size_t kMaxData = 1 << 16;

struct FloatDefinition {
    const char* id;
    float defaultValue;
};
constexpr FloatDefinition kFloats[] = {{"Gain", 0.5f}, {"Feedback", 0.25f}, {"Time", 0.75f}, {"Mix", 1.0f}};
constexpr const char* kBools[] = {"On", "Sync", "PingPong"};

class FuzzEffect : public AAX_CEffectParameters {
public:
    AAX_Result EffectInit() override {
        Add(new AAX_CParameter<bool>("MasterBypassID", AAX_CString("Bypass"), false, AAX_CBinaryTaperDelegate<bool>(),
                                     AAX_CBinaryDisplayDelegate<bool>("off", "on"), true));
        for (const FloatDefinition& definition : kFloats) {
            Add(new AAX_CParameter<float>(definition.id, AAX_CString(definition.id), definition.defaultValue,
                                          AAX_CLinearTaperDelegate<float>(0.0f, 1.0f),
                                          AAX_CNumberDisplayDelegate<float>(), true));
        }
        for (const char* id : kBools) {
            Add(new AAX_CParameter<bool>(id, AAX_CString(id), false, AAX_CBinaryTaperDelegate<bool>(),
                                         AAX_CBinaryDisplayDelegate<bool>("off", "on"), true));
        }
        return AAX_SUCCESS;
    }

    void ResetToDefaults() {
        for (int32_t i = 0; i < mParameterManager.NumParameters(); ++i) mParameterManager.GetParameter(i)->SetToDefaultValue();
    }

    bool AnyFloatIsNaN() const {
        for (const FloatDefinition& definition : kFloats) {
            float value = 0.0f;
            mParameterManager.GetParameterByID(definition.id)->GetValueAsFloat(&value);
            if (std::isnan(value)) return true;
        }
        return false;
    }

private:
    void Add(AAX_IParameter* parameter) {
        if (!mParameterManager.AddParameter(parameter)) parameter->Destroy(AAX_kDestroyFreesMemory);
    }
};

FuzzEffect& Effect() {
    // Initialized without a host: no automation delegate, so values apply at once.
    static FuzzEffect* effect = [] {
        auto* created = new FuzzEffect;
        created->Initialize(nullptr);
        return created;
    }();
    return *effect;
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "chunk_fuzzer: %s\n", what);
    std::abort();
}

// A record holding exactly capacity data bytes, as a host allocates it.
struct Record {
    explicit Record(size_t capacity)
        : bytes(static_cast<uint8_t*>(std::calloc(1, AAX_PlugInChunkRecordSize(capacity)))) {}
    ~Record() { std::free(bytes); }
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    AAX_SPlugInChunk* Get() { return reinterpret_cast<AAX_SPlugInChunk*>(bytes); }
    uint8_t* Data() { return bytes + offsetof(AAX_SPlugInChunk, fData); }
    uint8_t* bytes;
};

// Saves the current state and checks that it compares equal to itself.
void CheckRoundTrip(FuzzEffect& effect) {
    uint32_t size = 0;
    if (effect.GetChunkSize(kElck, &size) != AAX_SUCCESS) Fail("GetChunkSize failed");
    if (size < 4 || size % 4 != 0) Fail("reported size is not a positive multiple of 4");
    Record saved(size);
    saved.Get()->fChunkID = kElck;
    if (effect.GetChunk(kElck, saved.Get()) != AAX_SUCCESS) Fail("GetChunk failed");
    if (saved.Get()->fSize != static_cast<int32_t>(size)) Fail("written size differs from reported size");
    bool equal = false;
    if (effect.CompareActiveChunk(saved.Get(), &equal) != AAX_SUCCESS) Fail("CompareActiveChunk failed");
    if (!equal && !effect.AnyFloatIsNaN()) Fail("a freshly saved chunk does not compare equal");
}

void WriteSeed(const std::string& folder, const std::string& name, uint8_t flags, uint8_t tweak,
               const std::vector<uint8_t>& data) {
    std::vector<uint8_t> input = {flags, tweak, 0xFF, 0xFF, 0xFF, 0xFF};
    input.insert(input.end(), data.begin(), data.end());
    const std::string path = folder + "/" + name;
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(input.data(), 1, input.size(), file);
        std::fclose(file);
    }
}

std::vector<uint8_t> SavedData(FuzzEffect& effect) {
    uint32_t size = 0;
    effect.GetChunkSize(kElck, &size);
    Record saved(size);
    effect.GetChunk(kElck, saved.Get());
    return std::vector<uint8_t>(saved.Data(), saved.Data() + size);
}

void WriteSeeds(const std::string& folder) {
    FuzzEffect& effect = Effect();
    effect.ResetToDefaults();
    const std::vector<uint8_t> defaults = SavedData(effect);
    WriteSeed(folder, "defaults", 0, 0, defaults);
    WriteSeed(folder, "defaults-other-id", 4, 0, defaults);
    WriteSeed(folder, "defaults-refused", 8, 0, defaults);
    WriteSeed(folder, "defaults-shorter", 1, 7, defaults);
    WriteSeed(folder, "negative", 2, 0, defaults);
    WriteSeed(folder, "marker-only", 16, 0, {});

    effect.SetParameterNormalizedValue("Gain", 0.125);
    effect.SetParameterNormalizedValue("Sync", 1.0);
    effect.SetParameterNormalizedValue("PingPong", 1.0);
    const std::vector<uint8_t> changed = SavedData(effect);
    WriteSeed(folder, "changed", 0, 0, changed);
    for (size_t cut : {5u, 9u, 13u, 21u, 33u}) {
        if (cut < changed.size()) {
            WriteSeed(folder, "changed-cut-" + std::to_string(cut), 0, 0,
                      std::vector<uint8_t>(changed.begin(), changed.begin() + static_cast<std::ptrdiff_t>(cut)));
        }
    }
    // Entries the writer never produces: 'f', 's', 'r' and an untyped label.
    const std::vector<uint8_t> others = {1, 1, 1, 1, 'f', '_', 'M', 'i', 'x', 0, 0, 0, 0x3F, 0x00, 0x00, 0x00,
                                         's', '_', 'S', 0, 0x12, 0x34, 0, 0, 'r', '_', 'T', 0, 'a', 'b', 0, 0,
                                         'x', '_', 'Q', 0, 'l', '_', 'O', 'n', 0, 0, 0, 0, 0, 0, 0, 1};
    WriteSeed(folder, "other-entries", 0, 0, others);
    effect.ResetToDefaults();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (const char* folder = std::getenv("AAXW_FUZZ_WRITE_SEEDS")) {
        WriteSeeds(folder);
        std::exit(0);
    }
    Effect();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
    if (size < kHeaderBytes) return 0;
    const uint8_t flags = input[0];
    const uint8_t tweak = input[1];
    int32_t version = 0;
    std::memcpy(&version, input + 2, sizeof version);

    std::vector<uint8_t> data;
    if ((flags & 16) != 0) data.assign(4, 1);
    data.insert(data.end(), input + kHeaderBytes, input + std::min(size, kHeaderBytes + kMaxData));

    Record record(data.size());
    if (!data.empty()) std::memcpy(record.Data(), data.data(), data.size());
    AAX_SPlugInChunk* chunk = record.Get();
    const auto length = static_cast<int32_t>(data.size());
    switch (flags & 3) {
        case 1: chunk->fSize = length - tweak % (length + 1); break;
        case 2: chunk->fSize = tweak == 255 ? std::numeric_limits<int32_t>::min() : -static_cast<int32_t>(tweak) - 1; break;
        default: chunk->fSize = length; break;
    }
    chunk->fVersion = version;
    chunk->fChunkID = (flags & 4) != 0 ? kOther : kElck;

    FuzzEffect& effect = Effect();
    effect.ResetToDefaults();
    const AAX_CTypeID setID = (flags & 8) != 0 ? kOther : kElck;
    const AAX_Result setResult = effect.SetChunk(setID, chunk);
    if (setID == kElck && setResult != AAX_SUCCESS) Fail("SetChunk refused an 'elck' chunk");
    if (setID != kElck && setResult != AAX_ERROR_INVALID_CHUNK_ID) Fail("SetChunk accepted another identifier");

    bool equal = false;
    if (effect.CompareActiveChunk(chunk, &equal) != AAX_SUCCESS) Fail("CompareActiveChunk failed");
    if (chunk->fChunkID != kElck && !equal) Fail("a chunk of another identifier compared unequal");

    CheckRoundTrip(effect);
    return 0;
}
