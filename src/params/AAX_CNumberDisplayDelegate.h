// Decimal text for a real value, with a fixed number of digits after the point.
#pragma once

#include <cstdint>
#include <limits>
#include <type_traits>

#include "interfaces/aax_parameter.h"
#include "params/AAX_CDelegateRegistration.h"
#include "params/AAX_CString.h"
#include "params/NumberText.h"

// [any] Stateless but for its registration as one of the module's delegates. Formatting and
// parsing allocate: not for the real-time path.
template <typename T, uint32_t Precision = 2, uint32_t SpaceAfter = 0>
class AAX_CNumberDisplayDelegate : public AAX_IDisplayDelegate<T> {
    static_assert(std::is_floating_point_v<T>, "AAX_CNumberDisplayDelegate shows real values");
    // Nothing is written after the number.
    static_assert(SpaceAfter == 0, "AAX_CNumberDisplayDelegate writes no unit spacing");
    static_assert(Precision <= static_cast<uint32_t>(std::numeric_limits<int32_t>::max()));

public:
    AAX_CNumberDisplayDelegate() = default;
    AAX_CNumberDisplayDelegate(const AAX_CNumberDisplayDelegate& other) : AAX_IDisplayDelegate<T>(other) {}
    AAX_CNumberDisplayDelegate& operator=(const AAX_CNumberDisplayDelegate&) = delete;

    AAX_CNumberDisplayDelegate* Clone() const override { return new AAX_CNumberDisplayDelegate(*this); }

    // The full text cut to at most maxNumChars characters (cut, not rounded again); a decimal
    // point left as the last character of a text that fills the limit is dropped. A limit
    // below 1 leaves no room for any character: the text becomes empty and the call succeeds.
    bool ValueToString(T value, int32_t maxNumChars, AAX_CString* valueString) const override {
        if (valueString == nullptr) return false;
        if (maxNumChars < 1) {
            valueString->Clear();
            return true;
        }
        if (!this->ValueToString(value, valueString)) return false;
        const uint32_t limit = static_cast<uint32_t>(maxNumChars);
        const uint32_t length = valueString->Length();
        if (length > limit) valueString->Erase(limit, length - limit);
        if (valueString->Length() == limit && (*valueString)[limit - 1] == '.') {
            valueString->Erase(limit - 1, 1);
        }
        return true;
    }

    bool ValueToString(T value, AAX_CString* valueString) const override {
        if (valueString == nullptr) return false;
        valueString->Clear();
        valueString->AppendNumber(static_cast<double>(value), static_cast<int32_t>(Precision));
        return true;
    }

    // Reads one number from the start of the text (leading white space skipped, anything after
    // the number ignored), in the classic form whatever the process locale. On failure writes 0
    // and returns false. A number beyond T's range becomes the infinity of its sign, as rounding
    // to T would give.
    bool StringToValue(const AAX_CString& valueString, T* value) const override {
        if (value == nullptr) return false;
        double parsed = 0.0;
        if (!ReadLeadingNumber(valueString.Get(), valueString.Length(), &parsed)) {
            *value = static_cast<T>(0.0);
            return false;
        }
        *value = NarrowToValue(parsed);
        return true;
    }

private:
    static T NarrowToValue(double number) {
        if (number > static_cast<double>(std::numeric_limits<T>::max())) {
            return std::numeric_limits<T>::infinity();
        }
        if (number < static_cast<double>(std::numeric_limits<T>::lowest())) {
            return -std::numeric_limits<T>::infinity();
        }
        return static_cast<T>(number);
    }

    AAX_CDelegateRegistration mRegistration{this};
};
