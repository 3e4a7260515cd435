// The component framework's base types: result codes, interface identifiers and IACFUnknown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

using AAX_Result = int32_t;
using ACFRESULT = int32_t;
using acfUInt32 = uint32_t;
using acfSInt32 = int32_t;
using acfUInt64 = uint64_t;
using AAX_CTypeID = uint32_t;
using AAX_CPropertyValue = int32_t;
using AAX_CFieldIndex = uint32_t;
using AAX_CParamID = const char*;
using AAX_CSelector = int32_t;
using AAX_CTimestamp = int64_t;

// Every value that crosses has the same size on every compiler the host or module is built with.
static_assert(sizeof(AAX_Result) == 4 && sizeof(ACFRESULT) == 4);
static_assert(sizeof(bool) == 1);
static_assert(sizeof(void*) == 8 && sizeof(AAX_CParamID) == 8);

// Result codes.
constexpr AAX_Result AAX_SUCCESS = 0;
constexpr AAX_Result AAX_ERROR_INVALID_PARAMETER_ID = -20001;
constexpr AAX_Result AAX_ERROR_INVALID_STRING_CONVERSION = -20002;
constexpr AAX_Result AAX_ERROR_NULL_OBJECT = -20004;
constexpr AAX_Result AAX_ERROR_INVALID_CHUNK_INDEX = -20006;
constexpr AAX_Result AAX_ERROR_INVALID_CHUNK_ID = -20007;
constexpr AAX_Result AAX_ERROR_INCORRECT_CHUNK_SIZE = -20008;
constexpr AAX_Result AAX_ERROR_UNIMPLEMENTED = -20009;
constexpr AAX_Result AAX_ERROR_NO_COMPONENTS_WITHOUT_CONTROLLER = -20011;  // GUI initialised without a host controller
constexpr AAX_Result AAX_ERROR_PLUGIN_OUT_OF_MEMORY = -333;  // out of memory while serialising a chunk

constexpr ACFRESULT ACF_OK = 0;
constexpr ACFRESULT ACF_E_UNEXPECTED = static_cast<ACFRESULT>(0x8000FFFFu);  // an exception escaped an export
constexpr ACFRESULT ACF_E_NOINTERFACE = static_cast<ACFRESULT>(0x80000004u);

// A 128-bit interface or class identifier, {Data1-Data2-Data3-Data4[0..1]-Data4[2..7]}.
struct acfIID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
static_assert(sizeof(acfIID) == 16);
static_assert(offsetof(acfIID, Data2) == 4 && offsetof(acfIID, Data3) == 6 && offsetof(acfIID, Data4) == 8);
using acfCLSID = acfIID;
using acfUID = acfIID;

inline bool operator==(const acfIID& a, const acfIID& b) {
    return std::memcmp(&a, &b, sizeof(acfIID)) == 0;
}
inline bool operator!=(const acfIID& a, const acfIID& b) { return !(a == b); }

// [any] The root of every component interface. Slots 0 to 2.
class IACFUnknown {
public:
    virtual ACFRESULT QueryInterface(const acfIID& iid, void** outInterface) = 0;
    virtual acfUInt32 AddRef() = 0;
    virtual acfUInt32 Release() = 0;

protected:
    ~IACFUnknown() = default;
};

// Slot 0 of every interface whose objects cross between host and module is its scalar deleting
// destructor, an explicit operation void* Destroy(uint32_t flags): it destroys the object and,
// when flags has this bit, frees its memory; it returns the object's address. The interfaces
// keep their C++ destructors protected and non-virtual, so whatever deletes such an object
// through an interface goes through slot 0.
constexpr uint32_t AAX_kDestroyFreesMemory = 1u;

// Implements slot 0 for a final class (so the destructor run is the whole object's). An object
// destroyed with AAX_kDestroyFreesMemory must have come from new.
template <class Final>
void* AAX_DestroyFinal(Final* object, uint32_t flags) {
    static_assert(__is_final(Final), "slot 0 must destroy the most derived object");
    void* const address = object;
    if ((flags & AAX_kDestroyFreesMemory) != 0) {
        delete object;
    } else {
        object->~Final();
    }
    return address;
}

// Deletes an object through its slot 0: the deleter for owning pointers to such interfaces.
struct AAX_DestroyThroughSlot {
    template <class Interface>
    void operator()(Interface* object) const {
        if (object != nullptr) object->Destroy(AAX_kDestroyFreesMemory);
    }
};

// Packs four characters into a 32-bit code, the first character in the most significant byte.
constexpr uint32_t AAX_FourCC(char a, char b, char c, char d) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(d));
}
static_assert(AAX_FourCC('e', 'l', 'c', 'k') == 0x656C636Bu);
