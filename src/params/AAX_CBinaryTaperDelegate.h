// The taper of an on/off parameter: false at 0, true at 1.
#pragma once

#include "interfaces/aax_parameter.h"
#include "params/AAX_CDelegateRegistration.h"

// [any] Stateless but for its registration as one of the module's delegates.
template <typename T>
class AAX_CBinaryTaperDelegate : public AAX_ITaperDelegate<T> {
public:
    AAX_CBinaryTaperDelegate() = default;
    AAX_CBinaryTaperDelegate(const AAX_CBinaryTaperDelegate& other) : AAX_ITaperDelegate<T>(other) {}
    AAX_CBinaryTaperDelegate& operator=(const AAX_CBinaryTaperDelegate&) = delete;

    AAX_CBinaryTaperDelegate* Clone() const override { return new AAX_CBinaryTaperDelegate(*this); }
    T GetMaximumValue() const override { return static_cast<T>(true); }
    T GetMinimumValue() const override { return static_cast<T>(false); }
    T ConstrainRealValue(T value) const override { return value; }
    // Any positive normalized value, however small, is true; 0.0 and below are false.
    T NormalizedToReal(double normalizedValue) const override {
        return static_cast<T>(normalizedValue > 0.0);
    }
    double RealToNormalized(T realValue) const override { return realValue ? 1.0 : 0.0; }

private:
    AAX_CDelegateRegistration mRegistration{this};
};
