// One automatable control of the effect, as the host sees it, for a real value of type T
// (float for continuous and stepped controls, bool for on/off controls).
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <type_traits>

#include "interfaces/aax_host.h"
#include "interfaces/aax_parameter.h"
#include "params/AAX_CDelegateRegistration.h"
#include "params/AAX_CString.h"
#include "params/AAX_Guarded.h"

// [main] No lock of its own: callers serialise, except that the value may be read and confirmed
// from any thread ([any]: GetNormalizedValue, UpdateNormalizedValue, SetNormalizedValue and the
// typed value getters). No operation but the constructor throws or reports an error code:
// conversions report failure with a false result, an operation that runs out of memory does
// nothing (and a conversion answers false), and what the automation delegate throws is dropped
// like its results, which are ignored everywhere.
//
// While no automation delegate is attached, a value written from the plug-in side is stored
// at once and nothing is reported. Once the parameter manager attaches a delegate, every such
// write becomes a touch / set-value request / release to the host, and the value changes only
// when the host confirms it through UpdateNormalizedValue.
//
// Slot 0, through which the parameter manager deletes its parameters, goes through the virtual
// C++ destructor (whose slots follow slot 42), so a class derived from this one is destroyed whole.
template <typename T>
class AAX_CParameter : public AAX_IParameter {
    static_assert(std::is_same_v<T, float> || std::is_same_v<T, bool>,
                  "AAX_CParameter holds a float or a bool value");

public:
    static constexpr uint32_t kMaxIdentifierLength = 31;

    // Clones both delegates. A longer identifier is cut to its first 31 characters, a null one
    // is taken as empty. The value starts at the default, passed through the taper.
    AAX_CParameter(AAX_CParamID identifier, const AAX_CString& name, T defaultValue,
                   const AAX_ITaperDelegate<T>& taper, const AAX_IDisplayDelegate<T>& display,
                   bool automatable)
        : mName(name),
          mAutomatable(automatable),
          mTaperDelegate(taper.Clone()),
          mDisplayDelegate(display.Clone()),
          mDefaultValue(defaultValue) {
        if (identifier != nullptr) {
            std::memcpy(mIdentifier, identifier, strnlen(identifier, kMaxIdentifierLength));
        }
        mIdentifier[kMaxIdentifierLength] = '\0';
        if (mNumSteps == 0) {
            mNumSteps = mType == AAX_eParameterType_Discrete ? 2u : 128u;
        }
        SetToDefaultValue();
    }

    AAX_CParameter(const AAX_CParameter&) = delete;
    AAX_CParameter& operator=(const AAX_CParameter&) = delete;

    // Unregisters from the automation delegate, if one is attached.
    virtual ~AAX_CParameter() {
        if (mAutomationDelegate != nullptr) {
            AAX_GuardedVoid([&] { mAutomationDelegate->UnregisterParameter(mIdentifier); });
        }
        mAutomationDelegate = nullptr;
    }

    // The central write path for a value coming from the plug-in side. With an automation
    // delegate: Touch, PostSetValueRequest(normalized), Release; the value itself is left for
    // the host to confirm. Without one: stored at once.
    void SetValue(T newValue) noexcept {
        const double normalized = mTaperDelegate->RealToNormalized(newValue);
        if (mAutomationDelegate != nullptr) {
            Touch();
            AAX_GuardedVoid([&] { mAutomationDelegate->PostSetValueRequest(Identifier(), normalized); });
            Release();
        } else {
            mNeedNotify.store(true, std::memory_order_relaxed);
            UpdateNormalizedValue(normalized);
        }
    }

    // 0
    void* Destroy(uint32_t flags) noexcept override {
        void* const address = this;
        if ((flags & AAX_kDestroyFreesMemory) != 0) {
            delete this;
        } else {
            this->~AAX_CParameter();
        }
        return address;
    }
    // 1
    AAX_CParamID Identifier() const noexcept override { return mIdentifier; }
    // 2: the shortened names stay as they are.
    void SetName(const AAX_CString& name) noexcept override {
        AAX_GuardedVoid([&] { mName = name; });
    }
    // 3
    const AAX_CString& Name() const noexcept override { return mName; }
    // 4: keyed by its own length; replaces a shortened name of the same length.
    void AddShortenedName(const AAX_CString& name) noexcept override {
        AAX_GuardedVoid([&] { mShortenedNames[static_cast<int32_t>(name.Length())] = name; });
    }
    // 5: the longest shortened name that fits numCharacters, else the shortest one; the full
    // name when it fits or when there are no shortened names.
    const AAX_CString& ShortenedName(int32_t numCharacters) const noexcept override {
        if (numCharacters >= static_cast<int32_t>(mName.Length()) || mShortenedNames.empty()) {
            return mName;
        }
        auto entry = mShortenedNames.upper_bound(numCharacters);
        if (entry != mShortenedNames.begin()) --entry;
        return entry->second;
    }
    // 6
    void ClearShortenedNames() noexcept override { mShortenedNames.clear(); }
    // 7
    bool Automatable() const noexcept override { return mAutomatable; }
    // 8: unregisters from the previous delegate, registers with the new one (if not null).
    void SetAutomationDelegate(AAX_IAutomationDelegate* automationDelegate) noexcept override {
        if (mAutomationDelegate != nullptr) {
            AAX_GuardedVoid([&] { mAutomationDelegate->UnregisterParameter(mIdentifier); });
        }
        mAutomationDelegate = automationDelegate;
        if (mAutomationDelegate != nullptr) {
            AAX_GuardedVoid([&] { mAutomationDelegate->RegisterParameter(mIdentifier); });
        }
    }
    // 9
    void Touch() noexcept override {
        if (mAutomationDelegate != nullptr) {
            AAX_GuardedVoid([&] { mAutomationDelegate->PostTouchRequest(mIdentifier); });
        }
    }
    // 10
    void Release() noexcept override {
        if (mAutomationDelegate != nullptr) {
            AAX_GuardedVoid([&] { mAutomationDelegate->PostReleaseRequest(mIdentifier); });
        }
    }
    // 11
    void SetNormalizedValue(double normalizedValue) noexcept override {
        SetValue(mTaperDelegate->NormalizedToReal(normalizedValue));
    }
    // 12
    double GetNormalizedValue() const noexcept override { return mTaperDelegate->RealToNormalized(Value()); }
    // 13: the current value is not changed.
    void SetNormalizedDefaultValue(double normalizedDefault) noexcept override {
        mDefaultValue =
            mTaperDelegate->ConstrainRealValue(mTaperDelegate->NormalizedToReal(normalizedDefault));
    }
    // 14
    double GetNormalizedDefaultValue() const noexcept override {
        return mTaperDelegate->RealToNormalized(mDefaultValue);
    }
    // 15
    void SetToDefaultValue() noexcept override { SetValue(mDefaultValue); }
    // 16
    void SetNumberOfSteps(uint32_t numSteps) noexcept override { mNumSteps = numSteps; }
    // 17
    uint32_t GetNumberOfSteps() const noexcept override { return mNumSteps; }
    // 18: the nearest step; 0 with fewer than 2 steps.
    uint32_t GetStepValue() const noexcept override {
        const double steps = static_cast<double>(mNumSteps);
        if (steps < 2.0) return 0;
        const double stepSize = 1.0 / (steps - 1.0);
        double position = GetNormalizedValue() / stepSize + 0.5;
        if (!(position >= 0.0)) return 0;  // also a NaN position
        if (position > steps - 1.0) position = steps - 1.0;
        return static_cast<uint32_t>(position);
    }
    // 19: nothing happens with fewer than 2 steps.
    void SetStepValue(uint32_t step) noexcept override {
        const double steps = static_cast<double>(mNumSteps);
        if (steps < 2.0) return;
        double normalized = (1.0 / (steps - 1.0)) * static_cast<double>(step);
        if (normalized < 0.0) normalized = 0.0;
        if (normalized > 1.0) normalized = 1.0;
        SetNormalizedValue(normalized);
    }
    // 20: the limit is accepted and not applied; the text is the same as from slot 21.
    bool GetValueStringWithLimit(int32_t /*maxNumChars*/, AAX_CString* valueString) const noexcept override {
        return AAX_GuardedOr(false, [&] { return mDisplayDelegate->ValueToString(Value(), valueString); });
    }
    // 21
    bool GetValueStringWithoutLimit(AAX_CString* valueString) const noexcept override {
        return AAX_GuardedOr(false, [&] { return mDisplayDelegate->ValueToString(Value(), valueString); });
    }
    // 22: false when the text does not parse (output untouched), or when the parsed value lies
    // outside the taper's range (the constrained normalized value is written all the same).
    bool GetNormalizedValueFromString(const AAX_CString& valueString,
                                      double* normalizedValue) const noexcept override {
        if (normalizedValue == nullptr) return false;
        T value{};
        if (!AAX_GuardedOr(false, [&] { return mDisplayDelegate->StringToValue(valueString, &value); })) return false;
        *normalizedValue = mTaperDelegate->RealToNormalized(value);
        return IsWithinTaperRange(value);
    }
    // 23: the limit is passed to the display. False when the display fails or the real value
    // lies outside the taper's range.
    bool GetStringFromNormalizedValueWithLimit(double normalizedValue, int32_t maxNumChars,
                                               AAX_CString& valueString) const noexcept override {
        const T value = mTaperDelegate->NormalizedToReal(normalizedValue);
        if (!AAX_GuardedOr(false, [&] { return mDisplayDelegate->ValueToString(value, maxNumChars, &valueString); })) {
            return false;
        }
        return IsWithinTaperRange(value);
    }
    // 24
    bool GetStringFromNormalizedValueWithoutLimit(double normalizedValue,
                                                  AAX_CString& valueString) const noexcept override {
        const T value = mTaperDelegate->NormalizedToReal(normalizedValue);
        if (!AAX_GuardedOr(false, [&] { return mDisplayDelegate->ValueToString(value, &valueString); })) return false;
        return IsWithinTaperRange(value);
    }
    // 25: no range check here; the taper constrains the value on the way.
    bool SetValueFromString(const AAX_CString& valueString) noexcept override {
        T value{};
        if (!AAX_GuardedOr(false, [&] { return mDisplayDelegate->StringToValue(valueString, &value); })) return false;
        SetValue(value);
        return true;
    }

    // 26 to 35: typed access only for the parameter's own type; every other form returns false
    // and leaves its argument untouched.
    bool GetValueAsBool(bool* value) const noexcept override { return ReadTyped<bool>(value); }
    bool GetValueAsInt32(int32_t* /*value*/) const noexcept override { return false; }
    bool GetValueAsFloat(float* value) const noexcept override { return ReadTyped<float>(value); }
    bool GetValueAsDouble(double* /*value*/) const noexcept override { return false; }
    bool GetValueAsString(AAX_IString* /*value*/) const noexcept override { return false; }
    bool SetValueWithBool(bool value) noexcept override { return WriteTyped<bool>(value); }
    bool SetValueWithInt32(int32_t /*value*/) noexcept override { return false; }
    bool SetValueWithFloat(float value) noexcept override { return WriteTyped<float>(value); }
    bool SetValueWithDouble(double /*value*/) noexcept override { return false; }
    bool SetValueWithString(const AAX_IString& /*value*/) noexcept override { return false; }

    // 36: the number of steps is not changed.
    void SetType(AAX_EParameterType type) noexcept override { mType = type; }
    // 37
    AAX_EParameterType GetType() const noexcept override { return mType; }
    // 38: stored and reported, never interpreted.
    void SetOrientation(AAX_EParameterOrientation orientation) noexcept override { mOrientation = orientation; }
    // 39
    AAX_EParameterOrientation GetOrientation() const noexcept override { return mOrientation; }

    // 40: keeps a clone of the new taper. With preserveValue the real value stays and its
    // normalized position is recomputed (and requested from the host when a delegate is
    // attached); without it the normalized position stays and the real value is recomputed.
    // Either way the next confirmation is stored and reported even if unchanged. A taper that
    // is not one of the module's own, of this value type, is ignored (it is recognised by its
    // registration, never by reading type information from it); so is one that cannot be
    // cloned for lack of memory.
    void SetTaperDelegate(AAX_ITaperDelegateBase& taperDelegate, bool preserveValue) noexcept override {
        AAX_ITaperDelegate<T>* typed = AAX_CDelegateRegistration::FindTaper<T>(taperDelegate);
        if (typed == nullptr) return;
        std::unique_ptr<AAX_ITaperDelegate<T>> clone(
            AAX_GuardedOr(static_cast<AAX_ITaperDelegate<T>*>(nullptr), [&] { return typed->Clone(); }));
        if (!clone) return;
        const double oldNormalized = GetNormalizedValue();
        mTaperDelegate = std::move(clone);
        mNeedNotify.store(true, std::memory_order_relaxed);
        if (preserveValue) {
            SetValue(Value());
        } else {
            UpdateNormalizedValue(oldNormalized);
        }
    }

    // 41: keeps a clone of the new display and reports the current value to an attached
    // delegate. A display that is not one of the module's own, of this value type, is ignored,
    // as with slot 40.
    void SetDisplayDelegate(AAX_IDisplayDelegateBase& displayDelegate) noexcept override {
        AAX_IDisplayDelegate<T>* typed = AAX_CDelegateRegistration::FindDisplay<T>(displayDelegate);
        if (typed == nullptr) return;
        std::unique_ptr<AAX_IDisplayDelegate<T>> clone(
            AAX_GuardedOr(static_cast<AAX_IDisplayDelegate<T>*>(nullptr), [&] { return typed->Clone(); }));
        if (!clone) return;
        mDisplayDelegate = std::move(clone);
        if (mAutomationDelegate != nullptr) {
            AAX_GuardedVoid([&] { mAutomationDelegate->PostCurrentValue(Identifier(), GetNormalizedValue()); });
        }
    }

    // 42: the host's confirmation. Stores the value and reports the given normalized value
    // back, unless it equals the stored value (exact comparison) and no report is pending.
    void UpdateNormalizedValue(double normalizedValue) noexcept override {
        const T value = mTaperDelegate->NormalizedToReal(normalizedValue);
        if (!mNeedNotify.load(std::memory_order_relaxed) && value == Value()) return;
        mValue.store(value, std::memory_order_relaxed);
        if (mAutomationDelegate != nullptr) {
            AAX_GuardedVoid([&] { mAutomationDelegate->PostCurrentValue(Identifier(), normalizedValue); });
        }
        mNeedNotify.store(false, std::memory_order_relaxed);
    }

private:
    T Value() const { return mValue.load(std::memory_order_relaxed); }

    bool IsWithinTaperRange(T value) const {
        return !(value > mTaperDelegate->GetMaximumValue() || value < mTaperDelegate->GetMinimumValue());
    }

    template <typename U>
    bool ReadTyped(U* out) const {
        if constexpr (std::is_same_v<T, U>) {
            if (out == nullptr) return false;
            *out = Value();
            return true;
        } else {
            (void)out;
            return false;
        }
    }

    template <typename U>
    bool WriteTyped(U value) {
        if constexpr (std::is_same_v<T, U>) {
            SetValue(value);
            return true;
        } else {
            (void)value;
            return false;
        }
    }

    char mIdentifier[kMaxIdentifierLength + 1] = {};
    AAX_CString mName;
    std::map<int32_t, AAX_CString> mShortenedNames;
    bool mAutomatable;
    uint32_t mNumSteps = 0;
    AAX_EParameterType mType = AAX_eParameterType_Continuous;
    AAX_EParameterOrientation mOrientation = AAX_eParameterOrientation_Default;
    std::unique_ptr<AAX_ITaperDelegate<T>> mTaperDelegate;
    std::unique_ptr<AAX_IDisplayDelegate<T>> mDisplayDelegate;
    AAX_IAutomationDelegate* mAutomationDelegate = nullptr;  // borrowed
    // The value and the need-notify flag are atomic: an effect may report automation from its
    // audio thread (through the host, back into UpdateNormalizedValue) while the host sets values
    // on its own thread. Relaxed order is enough; each is one value, read or written whole.
    std::atomic<bool> mNeedNotify{true};
    std::atomic<T> mValue{};
    T mDefaultValue;
};

// An owned parameter, deleted through its slot 0 as the parameter manager deletes it.
using AAX_OwnedParameter = std::unique_ptr<AAX_IParameter, AAX_DestroyThroughSlot>;

extern template class AAX_CParameter<float>;
extern template class AAX_CParameter<bool>;
