// A linear map between the real range [minimum, maximum] and the normalized range [0, 1].
#pragma once

#include <cstdint>

#include "interfaces/aax_parameter.h"
#include "params/AAX_CDelegateRegistration.h"

// [any] Pure functions of the arguments and the two members.
// Arithmetic is done in double from the members; results are rounded to T at the end.
template <typename T, int32_t RealPrecision = 0>
class AAX_CLinearTaperDelegate : public AAX_ITaperDelegate<T> {
    // No rounding to a precision grid is offered; only the unrounded taper exists.
    static_assert(RealPrecision == 0, "AAX_CLinearTaperDelegate rounds to no precision grid");

public:
    AAX_CLinearTaperDelegate(T minValue, T maxValue) : mMinValue(minValue), mMaxValue(maxValue) {}
    AAX_CLinearTaperDelegate(const AAX_CLinearTaperDelegate& other)
        : AAX_ITaperDelegate<T>(other), mMinValue(other.mMinValue), mMaxValue(other.mMaxValue) {}
    AAX_CLinearTaperDelegate& operator=(const AAX_CLinearTaperDelegate&) = delete;

    AAX_CLinearTaperDelegate* Clone() const override { return new AAX_CLinearTaperDelegate(*this); }
    T GetMaximumValue() const override { return mMaxValue; }
    T GetMinimumValue() const override { return mMinValue; }

    // The maximum is tested first, so a value above the maximum gives the maximum even for a
    // range whose minimum lies above its maximum. A value that is not a number (from a damaged
    // chunk or a host) would compare false both ways and slip through: it becomes the minimum.
    T ConstrainRealValue(T value) const override {
        if (value != value) return mMinValue;
        if (value > mMaxValue) return mMaxValue;
        if (value < mMinValue) return mMinValue;
        return value;
    }

    // Normalized values outside [0, 1] are clamped into the range.
    T NormalizedToReal(double normalizedValue) const override {
        const double minimum = static_cast<double>(mMinValue);
        const double maximum = static_cast<double>(mMaxValue);
        const double real = (maximum - minimum) * normalizedValue + minimum;
        return this->ConstrainRealValue(static_cast<T>(real));
    }

    // The value is constrained first. A range whose minimum equals its maximum has only one
    // position, reported as 0.0 rather than as the quotient 0/0.
    double RealToNormalized(T realValue) const override {
        const double constrained = static_cast<double>(this->ConstrainRealValue(realValue));
        const double minimum = static_cast<double>(mMinValue);
        const double maximum = static_cast<double>(mMaxValue);
        if (maximum == minimum) return 0.0;
        return (constrained - minimum) / (maximum - minimum);
    }

private:
    T mMinValue;
    T mMaxValue;
    AAX_CDelegateRegistration mRegistration{this};
};
