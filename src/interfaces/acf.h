// The component framework's base types: result codes, interface identifiers and IACFUnknown.
#pragma once

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

// Packs four characters into a 32-bit code, the first character in the most significant byte.
constexpr uint32_t AAX_FourCC(char a, char b, char c, char d) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(d));
}
static_assert(AAX_FourCC('e', 'l', 'c', 'k') == 0x656C636Bu);
