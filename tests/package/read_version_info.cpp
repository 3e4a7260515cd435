// read_version_info FILE: prints FILE's version resource as Windows reads it
// (GetFileVersionInfo / VerQueryValue), one "name=value" line per field, for the install
// scenario to check. Exit status 1 when the file has no version resource.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string result(static_cast<size_t>(size - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    return result;
}

std::string Quad(DWORD high, DWORD low) {
    return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." + std::to_string(HIWORD(low)) +
           "." + std::to_string(LOWORD(low));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: read_version_info FILE\n", stderr);
        return 2;
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
    std::vector<unsigned char> block(size);
    if (size == 0 || !GetFileVersionInfoW(argv[1], 0, size, block.data())) {
        std::fprintf(stderr, "no version resource in %s\n", Utf8(argv[1]).c_str());
        return 1;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof *fixed) {
        std::fputs("no fixed version information\n", stderr);
        return 1;
    }
    std::printf("FixedFileVersion=%s\n", Quad(fixed->dwFileVersionMS, fixed->dwFileVersionLS).c_str());
    std::printf("FixedProductVersion=%s\n", Quad(fixed->dwProductVersionMS, fixed->dwProductVersionLS).c_str());
    std::printf("FileType=%lu\n", static_cast<unsigned long>(fixed->dwFileType));

    // The first translation names the string table to read.
    struct Translation {
        WORD language;
        WORD codePage;
    }* translations = nullptr;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                        &length) ||
        length < sizeof *translations) {
        std::fputs("no translation table\n", stderr);
        return 1;
    }
    wchar_t table[32];
    swprintf(table, 32, L"%04x%04x", translations->language, translations->codePage);
    for (const wchar_t* name : {L"CompanyName", L"ProductName", L"FileDescription", L"FileVersion",
                                L"ProductVersion", L"OriginalFilename", L"InternalName"}) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\") + table + L"\\" + name;
        wchar_t* value = nullptr;
        if (VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) && value) {
            std::printf("%s=%s\n", Utf8(name).c_str(), Utf8(value).c_str());
        }
    }
    return 0;
}
