// Uninstall.exe: what the list of installed programs runs to uninstall. It runs the
// uninstaller's steps (UninstallSteps.exe, beside it) in place, waits for them, and once they
// have succeeded removes them, itself and its folder, so that when it returns with their exit
// status everything is done: a script that uninstalls and then installs finds a clean machine.
// (An uninstaller cannot remove its own file while it runs; this one moves itself out of the way
// into the temporary folder, where Windows deletes it at the next restart.)
//
// Usage: Uninstall.exe [/S] [other options of the steps]. Exit status: the steps' own (0 done,
// 1 cancelled, 2 failed with everything left in place), or 2 when the steps succeeded but their
// files could not be removed afterwards (said on the standard error stream).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <string>

namespace {

constexpr wchar_t kSteps[] = L"UninstallSteps.exe";
constexpr int kFailed = 2;

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return L"";
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// One line on the standard error stream, when there is one, and in a message box unless silent.
void Report(const std::wstring& line, bool silent) {
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    if (error != nullptr && error != INVALID_HANDLE_VALUE) {
        const std::wstring text = L"Uninstall: " + line + L"\n";
        const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                                nullptr, nullptr);
        std::string utf8(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr,
                              nullptr);
        DWORD written = 0;
        ::WriteFile(error, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    }
    if (!silent) ::MessageBoxW(nullptr, line.c_str(), L"Uninstall", MB_OK | MB_ICONERROR);
}

// The arguments after the program's own name, exactly as given.
std::wstring Arguments() {
    const wchar_t* line = ::GetCommandLineW();
    bool quoted = false;
    for (; *line != L'\0'; ++line) {
        if (*line == L'"') quoted = !quoted;
        if (!quoted && (*line == L' ' || *line == L'\t')) break;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    return line;
}

// Whether "/S" is one of the arguments, as the steps read it.
bool IsSilent(const std::wstring& arguments) {
    size_t start = 0;
    while (start < arguments.size()) {
        const size_t end = std::min(arguments.find(L' ', start), arguments.size());
        if (arguments.compare(start, end - start, L"/S") == 0) return true;
        start = end + 1;
    }
    return false;
}

// Deletes a file whose process has just ended; the system may take a moment to let it go.
bool DeleteEndedProgram(const std::wstring& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (::DeleteFileW(path.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND) return true;
        ::Sleep(50);
    }
    return false;
}

// Moves this running program out of its folder, into the temporary folder, to be deleted at
// the next restart.
bool MoveSelfAway(const std::wstring& self) {
    wchar_t temporary[MAX_PATH + 1] = {};
    wchar_t target[MAX_PATH + 1] = {};
    if (::GetTempPathW(MAX_PATH, temporary) == 0 || ::GetTempFileNameW(temporary, L"unv", 0, target) == 0) return false;
    if (!::MoveFileExW(self.c_str(), target, MOVEFILE_REPLACE_EXISTING)) {
        ::DeleteFileW(target);
        return false;
    }
    ::MoveFileExW(target, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return true;
}

}  // namespace

int wmain() {
    const std::wstring arguments = Arguments();
    const bool silent = IsSilent(arguments);
    const std::wstring self = ModulePath();
    const size_t slash = self.find_last_of(L'\\');
    if (self.empty() || slash == std::wstring::npos) {
        Report(L"cannot tell where this uninstaller is", silent);
        return kFailed;
    }
    const std::wstring folder = self.substr(0, slash);
    const std::wstring steps = folder + L"\\" + kSteps;
    if (::GetFileAttributesW(steps.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Report(steps + L" is missing: the uninstaller is incomplete", silent);
        return kFailed;
    }

    // In place ("_?=" names the folder, and must come last): the steps do not copy themselves
    // elsewhere and return at once, as they otherwise would.
    std::wstring command = L"\"" + steps + L"\" " + arguments + (arguments.empty() ? L"" : L" ") + L"_?=" + folder;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(steps.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &process)) {
        Report(L"cannot start " + steps + L" (error " + std::to_wstring(::GetLastError()) + L")", silent);
        return kFailed;
    }
    ::CloseHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = kFailed;
    ::GetExitCodeProcess(process.hProcess, &status);
    ::CloseHandle(process.hProcess);
    if (status != 0) return static_cast<int>(status);

    // The steps removed everything else of ours and left themselves, this program and the
    // folder; the parent folder goes too once empty (it is not removed when it holds anything).
    if (!DeleteEndedProgram(steps)) {
        Report(L"cannot remove " + steps + L" (error " + std::to_wstring(::GetLastError()) + L")", silent);
        return kFailed;
    }
    if (!MoveSelfAway(self)) {
        ::MoveFileExW(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        Report(L"cannot remove " + self + L" now; Windows removes it at the next restart", silent);
        return kFailed;
    }
    ::RemoveDirectoryW(folder.c_str());
    const size_t parent = folder.find_last_of(L'\\');
    if (parent != std::wstring::npos) ::RemoveDirectoryW(folder.substr(0, parent).c_str());
    return 0;
}
