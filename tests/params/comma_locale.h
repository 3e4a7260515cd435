// A test helper shared by the string and display tests.
#pragma once

#include <locale>
#include <string>

// Installs, for its lifetime, a global locale that writes a comma as decimal separator and
// groups thousands with a point; number text must not follow it.
class CommaDecimalLocale {
public:
    CommaDecimalLocale() : mPrevious(std::locale::global(std::locale(std::locale::classic(), new Punctuation))) {}
    ~CommaDecimalLocale() { std::locale::global(mPrevious); }

private:
    struct Punctuation : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };
    std::locale mPrevious;
};
