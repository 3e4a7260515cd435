// The operating system's side of the files the command writes: what a path names, exclusive
// creation, ownership and permissions. One implementation per system (SystemPosix.cpp,
// SystemWin32.cpp); FileAccess builds on it.
#pragma once

#include <cstdint>
#include <string>

namespace aaxhost::system {

enum class FileKind { Missing, Regular, Folder, Device, Fifo, Socket, Other };

struct FileFacts {
    FileKind kind = FileKind::Missing;
    uint32_t permissions = 0;  // the mode's permission bits (07777)
    bool readOnly = false;     // as the command decides it: see IsReadOnly
    int64_t owner = -1;        // POSIX user and group; -1 where there are none
    int64_t group = -1;
};

// [main] What path names, links not followed (the caller resolves them first). False with the
// system's reason when it cannot be examined (other than not existing).
bool Examine(const std::string& path, FileFacts* facts, std::string* reason);

// [main] Creates path as a new empty file that only its owner may read and write; fails if
// anything exists there. 0, or the system's error number.
int CreateNewFile(const std::string& path);

// [main] Gives the temporary file the permissions (and, where the system allows, the owner and
// group) of the file it replaces, or those a new file gets (0666 less the umask).
void MatchPermissions(const std::string& temporary, const FileFacts& target);

// [main] Lets a read-only target be renamed over (Windows refuses otherwise); nothing on POSIX.
void AllowReplacing(const std::string& path);

// [main] Standard input (0) or output (1) passes bytes unchanged (no newline translation).
void UseBinaryStandardStream(int stream);

}  // namespace aaxhost::system

namespace aaxhost::system {

// The interruption machinery the platform handlers share (Interrupts.cpp). What they call is
// safe in a signal handler: atomics and fixed tables only.

// [any] Calls remove for every tracked temporary file.
void ForEachTrackedFile(void (*remove)(const char* path));
// [any] Claims the ending of the process for the interruption on record: false while outputs
// are being committed (their deferral ends it when they are done) or once another claim won.
bool ClaimEnding();
// [any] Writes "aaxhost: stopped by CAUSE; its unfinished files were removed" and a newline
// into line (at least 128 bytes); returns its length.
size_t FormatInterruptLine(char* line, size_t capacity);
// [any] Removes the tracked files, writes the line to standard error and ends the process with
// the interruption's status. Per platform.
[[noreturn]] void EndForInterrupt();
// [main] Per platform: the handlers themselves.
void InstallPlatformHandlers();

}  // namespace aaxhost::system
