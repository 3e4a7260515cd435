// The host's own text object, handed to the module wherever an operation fills in a string.
#pragma once

#include <string>

#include "interfaces/aax_string.h"

namespace aaxhost {

class HostString final : public AAX_IString {
public:
    HostString() = default;
    explicit HostString(const char* text) : text_(text != nullptr ? text : "") {}

    // [any]
    uint32_t Length() const override { return static_cast<uint32_t>(text_.size()); }
    uint32_t MaxLength() const override { return 0xFFFFFFFEu; }
    const char* Get() const override { return text_.c_str(); }
    void Set(const char* text) override { text_ = text != nullptr ? text : ""; }
    AAX_IString& operator=(const char* text) override {
        Set(text);
        return *this;
    }
    AAX_IString& operator=(const AAX_IString& other) override {
        if (&other != this) Set(other.Get());
        return *this;
    }
    HostString(const HostString& other) : AAX_IString(), text_(other.text_) {}
    HostString& operator=(const HostString& other) {
        text_ = other.text_;
        return *this;
    }

    const std::string& Str() const { return text_; }

private:
    std::string text_;
};

}  // namespace aaxhost
