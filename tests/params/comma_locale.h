// A test helper shared by the string and display tests.
#pragma once

#include <clocale>
#include <initializer_list>
#include <locale>
#include <string>

// Installs, for its lifetime, a global C++ locale that writes a comma as decimal separator and
// groups thousands with a point, and, where the system has one, a C numeric locale with a comma
// (as a host in such a country runs); number text must follow neither.
class CommaDecimalLocale {
public:
    CommaDecimalLocale() : mPrevious(std::locale::global(std::locale(std::locale::classic(), new Punctuation))) {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        mPreviousNumeric = current != nullptr ? current : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE", "fr_FR.UTF-8", "German_Germany.1252", "German"}) {
            if (std::setlocale(LC_NUMERIC, name) != nullptr) break;
        }
    }
    ~CommaDecimalLocale() {
        std::setlocale(LC_NUMERIC, mPreviousNumeric.c_str());
        std::locale::global(mPrevious);
    }

    // Whether the C numeric locale now writes a comma too.
    static bool NumericLocaleHasComma() {
        const std::lconv* conventions = std::localeconv();
        return conventions != nullptr && conventions->decimal_point != nullptr && conventions->decimal_point[0] == ',';
    }

private:
    struct Punctuation : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };
    std::locale mPrevious;
    std::string mPreviousNumeric;
};
