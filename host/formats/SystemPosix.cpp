// The POSIX side of the files the command writes, and its signal handlers.
#if !defined(_WIN32)

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "Interrupts.h"
#include "SystemFiles.h"

namespace aaxhost::system {

bool Examine(const std::string& path, FileFacts* facts, std::string* reason) {
    *facts = FileFacts{};
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) return true;
        *reason = std::strerror(errno);
        return false;
    }
    const mode_t type = info.st_mode & S_IFMT;
    facts->kind = type == S_IFREG                     ? FileKind::Regular
                  : type == S_IFDIR                   ? FileKind::Folder
                  : type == S_IFCHR || type == S_IFBLK ? FileKind::Device
                  : type == S_IFIFO                   ? FileKind::Fifo
                  : type == S_IFSOCK                  ? FileKind::Socket
                                                      : FileKind::Other;
    facts->permissions = static_cast<uint32_t>(info.st_mode & 07777);
    facts->owner = info.st_uid;
    facts->group = info.st_gid;
    // No write permission for anyone is read-only even for the superuser, who could write it
    // anyway; otherwise the system's answer for this user decides.
    facts->readOnly = (info.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0;
    return true;
}

int CreateNewFile(const std::string& path) {
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (file < 0) return errno;
    close(file);
    return 0;
}

void MatchPermissions(const std::string& temporary, const FileFacts& target) {
    if (target.kind == FileKind::Missing) {
        const mode_t mask = umask(0);
        umask(mask);
        chmod(temporary.c_str(), 0666 & ~mask);
        return;
    }
    // The owner first: changing it clears the set-user and set-group bits the mode then restores.
    if (chown(temporary.c_str(), static_cast<uid_t>(target.owner), static_cast<gid_t>(target.group)) != 0) {
        [[maybe_unused]] const int ignored = chown(temporary.c_str(), static_cast<uid_t>(-1), static_cast<gid_t>(target.group));
    }
    chmod(temporary.c_str(), static_cast<mode_t>(target.permissions));
}

void AllowReplacing(const std::string&) {}

void UseBinaryStandardStream(int) {}

[[noreturn]] void EndForInterrupt() {
    ForEachTrackedFile([](const char* path) { unlink(path); });
    char line[256];
    const size_t length = FormatInterruptLine(line, sizeof line);
    [[maybe_unused]] const ssize_t written = write(2, line, length);
    _exit(InterruptStatus());
}

namespace {

void OnSignal(int signal) {
    const char* cause = signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGHUP";
    RequestInterrupt(128 + signal, cause);
    if (ClaimEnding()) EndForInterrupt();
    // Outputs are being committed: their deferral ends the process when they are done.
}

}  // namespace

void InstallPlatformHandlers() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous {};
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace aaxhost::system

#endif
