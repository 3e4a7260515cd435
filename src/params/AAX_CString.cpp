#include "params/AAX_CString.h"

#include <cstring>
#include <utility>

#include "params/NumberText.h"

AAX_CString::AAX_CString() = default;

AAX_CString::AAX_CString(const char* text) : mString(text != nullptr ? text : "") {}

AAX_CString::AAX_CString(const AAX_CString& other) : AAX_IString(), mString(other.mString) {}

AAX_CString::AAX_CString(AAX_CString&& other) noexcept : AAX_IString(), mString(std::move(other.mString)) {}

AAX_CString::~AAX_CString() = default;

AAX_CString& AAX_CString::operator=(const AAX_CString& other) {
    if (this != &other) mString = other.mString;
    return *this;
}

AAX_CString& AAX_CString::operator=(AAX_CString&& other) noexcept {
    if (this != &other) mString = std::move(other.mString);
    return *this;
}

uint32_t AAX_CString::Length() const noexcept { return static_cast<uint32_t>(mString.size()); }

uint32_t AAX_CString::MaxLength() const noexcept { return 0xFFFFFFFEu; }

const char* AAX_CString::Get() const noexcept { return mString.c_str(); }

void AAX_CString::Set(const char* text) {
    if (text == nullptr) {
        mString.clear();
    } else if (text != mString.c_str()) {
        mString.assign(text);
    }
}

AAX_CString& AAX_CString::AssignText(const char* text) {
    Set(text);
    return *this;
}

AAX_CString& AAX_CString::AssignString(const AAX_IString& other) {
    // Set leaves the text alone when handed its own buffer, which covers self-assignment.
    Set(other.Get());
    return *this;
}

void AAX_CString::Clear() { mString.clear(); }

void AAX_CString::Erase(uint32_t position, uint32_t count) {
    const std::size_t length = mString.size();
    if (position >= length) return;
    const std::size_t remaining = length - position;
    mString.erase(position, count < remaining ? count : remaining);
}

char& AAX_CString::operator[](uint32_t index) { return mString[index]; }

const char& AAX_CString::operator[](uint32_t index) const { return mString[index]; }

void AAX_CString::AppendNumber(double value, int32_t precision) { AppendFixedNumber(mString, value, precision); }

bool AAX_CString::operator==(const AAX_CString& other) const {
    return std::strcmp(Get(), other.Get()) == 0;
}
