// Text between our UTF-8 and the wide-character Win32 calls (Windows only, inside this folder).
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

namespace platform::win32 {

// The UTF-16 form of length bytes of UTF-8 text (all of it, zeros included). False on invalid
// UTF-8; throws std::bad_alloc like any string.
inline bool WideFromUtf8(const char* text, size_t length, std::wstring* wide) {
    wide->clear();
    if (length == 0) return true;
    const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(length), nullptr, 0);
    if (units <= 0) return false;
    wide->resize(static_cast<size_t>(units));
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(length), wide->data(), units) ==
           units;
}

inline bool WideFromUtf8(const char* text, std::wstring* wide) {
    return text != nullptr && WideFromUtf8(text, std::char_traits<char>::length(text), wide);
}

// The UTF-8 form of units UTF-16 code units. False on unpaired surrogates.
inline bool Utf8FromWide(const wchar_t* wide, size_t units, std::string* text) {
    text->clear();
    if (units == 0) return true;
    const int bytes = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, static_cast<int>(units), nullptr, 0,
                                            nullptr, nullptr);
    if (bytes <= 0) return false;
    text->resize(static_cast<size_t>(bytes));
    return ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, static_cast<int>(units), text->data(), bytes,
                                 nullptr, nullptr) == bytes;
}

inline HKEY RootHandle(bool localMachine) { return localMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

}  // namespace platform::win32
