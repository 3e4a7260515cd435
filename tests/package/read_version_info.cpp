// read_version_info FILE: prints FILE's version resource as Windows reads it
// (GetFileVersionInfo / VerQueryValue), one "name=value" line per field, for the install
// scenario to compare. Exit status 1 when the file has no version resource.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    DWORD ignored = 0;
    const DWORD size = argc == 2 ? GetFileVersionInfoSizeA(argv[1], &ignored) : 0;
    std::vector<char> block(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoA(argv[1], 0, size, block.data()) ||
        !VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof *fixed) {
        std::fputs("usage: read_version_info FILE (a file with a version resource)\n", stderr);
        return 1;
    }
    std::printf("FixedFileVersion=%u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    std::printf("FixedProductVersion=%u.%u.%u.%u\n", HIWORD(fixed->dwProductVersionMS),
                LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
    // The strings of the first language the resource lists.
    WORD* translation = nullptr;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
        length < 2 * sizeof(WORD)) {
        return 1;
    }
    char table[16];
    std::snprintf(table, sizeof table, "%04x%04x", translation[0], translation[1]);
    for (const char* name : {"CompanyName", "ProductName", "FileDescription", "FileVersion", "ProductVersion",
                             "OriginalFilename"}) {
        const std::string path = std::string("\\StringFileInfo\\") + table + "\\" + name;
        char* value = nullptr;
        if (VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) && value) {
            std::printf("%s=%s\n", name, value);
        }
    }
    return 0;
}
