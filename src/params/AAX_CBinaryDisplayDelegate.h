// Two fixed texts for an on/off value.
#pragma once

#include "interfaces/aax_parameter.h"
#include "params/AAX_CDelegateRegistration.h"
#include "params/AAX_CString.h"

// [any] Pure functions of the arguments and the two texts.
template <typename T>
class AAX_CBinaryDisplayDelegate : public AAX_IDisplayDelegate<T> {
public:
    // Each text is copied; a null pointer leaves that text empty.
    AAX_CBinaryDisplayDelegate(const char* falseText, const char* trueText)
        : mFalseString(falseText != nullptr ? falseText : ""),
          mTrueString(trueText != nullptr ? trueText : "") {}
    AAX_CBinaryDisplayDelegate(const AAX_CBinaryDisplayDelegate& other)
        : AAX_IDisplayDelegate<T>(other), mFalseString(other.mFalseString), mTrueString(other.mTrueString) {}
    AAX_CBinaryDisplayDelegate& operator=(const AAX_CBinaryDisplayDelegate&) = delete;

    AAX_CBinaryDisplayDelegate* Clone() const override { return new AAX_CBinaryDisplayDelegate(*this); }

    // The limit is not applied: the full text is always given.
    bool ValueToString(T value, int32_t /*maxNumChars*/, AAX_CString* valueString) const override {
        return this->ValueToString(value, valueString);
    }

    bool ValueToString(T value, AAX_CString* valueString) const override {
        if (valueString == nullptr) return false;
        *valueString = value ? mTrueString : mFalseString;
        return true;
    }

    // Exact, case-sensitive match against the true text, then the false text. The output is
    // written in every case: false when neither text matches (and the call then fails).
    bool StringToValue(const AAX_CString& valueString, T* value) const override {
        if (value == nullptr) return false;
        if (valueString == mTrueString) {
            *value = static_cast<T>(true);
            return true;
        }
        *value = static_cast<T>(false);
        return valueString == mFalseString;
    }

private:
    AAX_CString mFalseString;
    AAX_CString mTrueString;
    AAX_CDelegateRegistration mRegistration{this};
};
