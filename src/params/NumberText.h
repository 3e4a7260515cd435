// Number texts of the parameter framework, in the classic ("C") form whatever locale the host
// process has set: a point as decimal separator, no grouping. They read no global state, so
// formatting on one thread never disturbs a host formatting on another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// [any] Appends value in fixed-point notation with exactly precision digits after the point
// (a negative precision is taken as 0): a leading minus for negative values, including those
// that round to zero ("-0.00"), no exponent, no fill. Non-finite values give "inf", "-inf" or
// "nan". Allocates.
void AppendFixedNumber(std::string& text, double value, int32_t precision);

// [any] Reads one number from the start of text as a classic-locale input stream reads a double:
// leading white space is skipped, a '+' or '-' sign is accepted, digits with at most one decimal
// point and an optional exponent follow, and anything after the number is ignored. Fails, with
// *value set to 0, when no number starts the text, when an exponent has no digits, or when the
// number is too large for a double; a number too small for one reads as zero.
bool ReadLeadingNumber(const char* text, size_t length, double* value);
