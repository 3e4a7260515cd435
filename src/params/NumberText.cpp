#include "params/NumberText.h"

#include <charconv>
#include <system_error>
#include <vector>

void AppendFixedNumber(std::string& text, double value, int32_t precision) {
    if (precision < 0) precision = 0;
    // The longest fixed text of a double: a sign, 309 integer digits, the point, the digits asked for.
    char local[384];
    if (precision <= 64) {
        const std::to_chars_result written =
            std::to_chars(local, local + sizeof local, value, std::chars_format::fixed, precision);
        if (written.ec == std::errc()) {
            text.append(local, written.ptr);
            return;
        }
    }
    std::vector<char> wide(static_cast<size_t>(precision) + 320);
    const std::to_chars_result written =
        std::to_chars(wide.data(), wide.data() + wide.size(), value, std::chars_format::fixed, precision);
    if (written.ec == std::errc()) text.append(wide.data(), written.ptr);
}

namespace {

bool IsClassicSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Whether the number text [begin, end), which from_chars found out of range, is too large
// rather than too small: its decimal magnitude, from the position of its first significant digit
// and its exponent, is positive.
bool TooLarge(const char* begin, const char* end) {
    const char* p = begin;
    int64_t magnitude = 0;  // the power of ten of the first significant digit
    bool significant = false;
    for (; p < end && IsDigit(*p); ++p) {
        if (*p != '0') significant = true;
        if (significant) ++magnitude;
    }
    if (p < end && *p == '.') {
        for (++p; p < end && IsDigit(*p); ++p) {
            if (significant) continue;
            --magnitude;
            if (*p != '0') significant = true;
        }
    }
    if (magnitude > 0) --magnitude;  // 1.0 has magnitude 0
    int64_t exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool negative = p < end && *p == '-';
        if (p < end && (*p == '-' || *p == '+')) ++p;
        for (; p < end && IsDigit(*p) && exponent < 1000000; ++p) exponent = exponent * 10 + (*p - '0');
        if (negative) exponent = -exponent;
    }
    return magnitude + exponent > 0;
}

}  // namespace

bool ReadLeadingNumber(const char* text, size_t length, double* value) {
    *value = 0.0;
    if (text == nullptr) return false;
    const char* p = text;
    const char* const end = text + length;
    while (p < end && IsClassicSpace(*p)) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // Only digits or a point may start the number: the stream reads no "inf" or "nan".
    if (p == end || !(IsDigit(*p) || *p == '.')) return false;
    double parsed = 0.0;
    const std::from_chars_result read = std::from_chars(p, end, parsed, std::chars_format::general);
    if (read.ec == std::errc::result_out_of_range) {
        if (TooLarge(p, end)) return false;  // too large: the stream fails
        *value = negative ? -0.0 : 0.0;
        return true;
    }
    if (read.ec != std::errc()) return false;
    // An exponent marker the number could not use: the stream takes it in and then fails.
    if (read.ptr < end && (*read.ptr == 'e' || *read.ptr == 'E')) return false;
    *value = negative ? -parsed : parsed;
    return true;
}
