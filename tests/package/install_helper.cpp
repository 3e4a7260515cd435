// install_helper: the install scenario's hands on Windows.
//
//   install_helper hold FILE        loads the library FILE as a host does, prints "held" and keeps
//                                   it loaded until its standard input ends
//   install_helper run LINE         runs the command line LINE exactly as given, as a program that
//                                   reads an uninstall command from the registry does; waits for
//                                   it and exits with its exit status
//   install_helper quiet-uninstall  runs the QuietUninstallString of our entry that way
//
// Exit status 100 when the helper itself cannot do what it is asked.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr int kHelperFailed = 100;
constexpr wchar_t kEntryKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brenlock VantreloDelay AAX";

int Hold(const wchar_t* file) {
    HMODULE library = ::LoadLibraryExW(file, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == nullptr) {
        std::fprintf(stderr, "install_helper: cannot load the library (error %lu)\n", ::GetLastError());
        return kHelperFailed;
    }
    std::puts("held");
    std::fflush(stdout);
    char buffer[256];
    DWORD read = 0;
    while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr) && read > 0) {
    }
    ::FreeLibrary(library);
    return 0;
}

int Run(std::wstring line) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "install_helper: cannot start the command (error %lu)\n", ::GetLastError());
        return kHelperFailed;
    }
    ::CloseHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = kHelperFailed;
    ::GetExitCodeProcess(process.hProcess, &status);
    ::CloseHandle(process.hProcess);
    return static_cast<int>(status);
}

int QuietUninstall() {
    wchar_t line[2048] = {};
    DWORD size = sizeof line;
    const LSTATUS status = ::RegGetValueW(HKEY_LOCAL_MACHINE, kEntryKey, L"QuietUninstallString",
                                          RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, line, &size);
    if (status != ERROR_SUCCESS) {
        std::fprintf(stderr, "install_helper: no QuietUninstallString (error %ld)\n", static_cast<long>(status));
        return kHelperFailed;
    }
    return Run(line);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"hold") == 0) return Hold(argv[2]);
    if (argc == 3 && std::wcscmp(argv[1], L"run") == 0) return Run(argv[2]);
    if (argc == 2 && std::wcscmp(argv[1], L"quiet-uninstall") == 0) return QuietUninstall();
    std::fputs("usage: install_helper hold FILE | run LINE | quiet-uninstall\n", stderr);
    return kHelperFailed;
}
