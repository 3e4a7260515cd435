// The module's text value: 8-bit characters ended by a NUL, no character-set conversion.
#pragma once

#include <cstdint>
#include <string>

#include "interfaces/aax_string.h"

// [any] A value type: copying a string copies its text. Text handed over by the host (an
// AAX_IString to fill) is written only through the interface slots, usually by filling a
// temporary AAX_CString and assigning it through the interface form of assignment. Final, so
// that slot 0 destroys the whole object.
class AAX_CString final : public AAX_IString {
public:
    AAX_CString();
    // Copies the text; a null pointer gives the empty string.
    AAX_CString(const char* text);  // NOLINT(google-explicit-constructor): text converts freely
    AAX_CString(const AAX_CString& other);
    AAX_CString(AAX_CString&& other) noexcept;
    ~AAX_CString();

    // Copies the text directly, without going through the interface.
    AAX_CString& operator=(const AAX_CString& other);
    AAX_CString& operator=(AAX_CString&& other) noexcept;
    // Slots 5 and 6.
    AAX_CString& operator=(const char* text) { return AssignText(text); }
    AAX_CString& operator=(const AAX_IString& other) { return AssignString(other); }

    // Slot 0: a string the host deletes through the interface was made with new.
    void* Destroy(uint32_t flags) noexcept override { return AAX_DestroyFinal(this, flags); }
    // Slots 1 to 6. The reading slots, all a host calls on the module's strings, never throw;
    // the assigning ones throw std::bad_alloc when memory runs out, for the module's own code to
    // answer (the host receives the module's strings as const).
    // Bytes before the NUL; only the low 32 bits.
    uint32_t Length() const noexcept override;
    // Always 0xFFFFFFFE.
    uint32_t MaxLength() const noexcept override;
    // Never null; valid until the string is next changed or destroyed.
    const char* Get() const noexcept override;
    // Copies the text; a null pointer empties the string.
    void Set(const char* text) override;
    AAX_CString& AssignText(const char* text) override;
    // Reads the source only through its Get slot, so any implementation can be the source.
    // Assigning a string to itself leaves it unchanged.
    AAX_CString& AssignString(const AAX_IString& other) override;

    void Clear();
    // Removes up to count bytes from position on; a count running past the end removes the
    // rest of the text, and a position at or past the end removes nothing.
    void Erase(uint32_t position, uint32_t count);
    // Byte at index. Precondition: index < Length() (index == Length() reads the NUL).
    char& operator[](uint32_t index);
    const char& operator[](uint32_t index) const;
    // Appends the value in fixed-point notation with exactly precision digits after the point,
    // in the classic locale (point as separator, leading minus, no grouping, no fill) whatever
    // locale the process has set, and without touching it. A negative precision is taken as 0.
    // Allocates: not for the real-time path.
    void AppendNumber(double value, int32_t precision);

    // Byte-wise, case-sensitive comparison up to the NUL.
    bool operator==(const AAX_CString& other) const;

    const std::string& StdString() const { return mString; }

private:
    std::string mString;
};
