// The Windows side of the files the command writes, and its console event handler.
#if defined(_WIN32)

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "FileAccess.h"
#include "Interrupts.h"
#include "SystemFiles.h"

namespace aaxhost::system {

namespace {

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices in every folder, whatever the extension.
bool IsDeviceName(const std::string& path) {
    std::string stem = TextOf(PathOf(path).stem());
    for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    while (!stem.empty() && (stem.back() == ' ' || stem.back() == '.')) stem.pop_back();
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" || stem == "CONOUT$") return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
           stem[3] <= '9';
}

}  // namespace

bool Examine(const std::string& path, FileFacts* facts, std::string* reason) {
    *facts = FileFacts{};
    if (IsDeviceName(path)) {
        facts->kind = FileKind::Device;
        return true;
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
        *reason = "Windows error " + std::to_string(code);
        return false;
    }
    facts->kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Folder
                  : (attributes & FILE_ATTRIBUTE_DEVICE) != 0  ? FileKind::Device
                                                               : FileKind::Regular;
    facts->readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    facts->permissions = facts->readOnly ? 0444 : 0666;
    return true;
}

int CreateNewFile(const std::string& path) {
    const int file = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (file < 0) return errno;
    _close(file);
    return 0;
}

void MatchPermissions(const std::string& temporary, const FileFacts& target) {
    if (target.kind == FileKind::Regular && target.readOnly) {
        const DWORD attributes = GetFileAttributesA(temporary.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(temporary.c_str(), attributes | FILE_ATTRIBUTE_READONLY);
    }
}

void AllowReplacing(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesA(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
}

void UseBinaryStandardStream(int stream) {
    std::fflush(stream == 0 ? stdin : stdout);
    _setmode(stream, _O_BINARY);
}

[[noreturn]] void EndForInterrupt() {
    ForEachTrackedFile([](const char* path) {
        SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path);
    });
    char line[256];
    const size_t length = FormatInterruptLine(line, sizeof line);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(length), &written, nullptr);
    ExitProcess(static_cast<UINT>(InterruptStatus()));
}

namespace {

// Runs on a thread of its own. The command notices the request at its next buffer or tick and
// ends normally, which removes its files (they are open, so only it can); if it has not after
// a few seconds, this ends it.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        RequestInterrupt(130, event == CTRL_C_EVENT ? "Ctrl-C" : "Ctrl-Break");
    } else {
        RequestInterrupt(129, "the console closing");
    }
    Sleep(4000);
    // Outputs being committed finish first; another claim already ends the process.
    while (!ClaimEnding()) Sleep(100);
    EndForInterrupt();
}

}  // namespace

void InstallPlatformHandlers() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

}  // namespace aaxhost::system

#endif
