// The text interface that crosses every host interface.
#pragma once

#include <cstdint>

#include "acf.h"

// [any] Slots 0 to 6. The host calls the slots by position, laid out as a host built with the
// Microsoft compiler lays them out; every compiler gives this declaration exactly these seven
// slots: slot 0 is an explicit operation (the C++ destructor is protected and not virtual) and
// each assignment has a slot of its own. The two operator= are conveniences over slots 5 and 6.
class AAX_IString {
public:
    // 0: the scalar deleting destructor. Destroys the object and, when flags has
    // AAX_kDestroyFreesMemory, frees its memory. Returns the object's address.
    virtual void* Destroy(uint32_t flags) = 0;
    // 1
    virtual uint32_t Length() const = 0;
    // 2
    virtual uint32_t MaxLength() const = 0;
    // 3
    virtual const char* Get() const = 0;
    // 4
    virtual void Set(const char* text) = 0;
    // 5: assignment from NUL-ended text; returns this string.
    virtual AAX_IString& AssignText(const char* text) = 0;
    // 6: assignment from another string, read through its Get slot; returns this string.
    virtual AAX_IString& AssignString(const AAX_IString& other) = 0;

    AAX_IString& operator=(const char* text) { return AssignText(text); }
    AAX_IString& operator=(const AAX_IString& other) { return AssignString(other); }

protected:
    AAX_IString() = default;
    AAX_IString(const AAX_IString&) = default;
    ~AAX_IString() = default;
};
