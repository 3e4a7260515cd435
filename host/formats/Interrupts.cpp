#include "Interrupts.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "SystemFiles.h"

namespace aaxhost {

namespace {

// Fixed tables, so that a signal handler can walk them without allocating or locking.
struct TrackedFile {
    std::atomic<bool> used{false};
    char path[4096] = {};
};
TrackedFile g_tracked[16];

std::atomic<int> g_status{0};
std::atomic<const char*> g_cause{""};

// 0 while running, 1 while outputs are committed, 2 once an interruption ends the process.
constexpr int kRunning = 0, kCommitting = 1, kEnding = 2;
std::atomic<int> g_phase{kRunning};

}  // namespace

void InstallInterruptHandlers() { system::InstallPlatformHandlers(); }

int InterruptStatus() { return g_status.load(); }

const char* InterruptCause() { return g_cause.load(); }

void RequestInterrupt(int status, const char* cause) {
    // A second request does not replace the first: its cause is what the line reports.
    if (status == 0) {
        g_status.store(0);
        g_cause.store("");
        return;
    }
    int expected = 0;
    if (g_status.compare_exchange_strong(expected, status)) g_cause.store(cause != nullptr ? cause : "an interruption");
}

std::string InterruptReason() {
    char line[256];
    const size_t length = system::FormatInterruptLine(line, sizeof line);
    const std::string prefix = "aaxhost: ";
    return std::string(line + prefix.size(), length - prefix.size() - 1);  // without the prefix and the newline
}

void TrackTemporaryFile(const std::string& path) {
    if (path.size() >= sizeof g_tracked[0].path) return;  // longer than any path the system takes
    for (TrackedFile& slot : g_tracked) {
        if (slot.used.load()) continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.used.store(true);
        return;
    }
}

void ForgetTemporaryFile(const std::string& path) {
    for (TrackedFile& slot : g_tracked) {
        if (slot.used.load() && path == slot.path) {
            slot.used.store(false);
            return;
        }
    }
}

InterruptDeferral::InterruptDeferral() {
    int expected = kRunning;
    while (!g_phase.compare_exchange_strong(expected, kCommitting)) {
        // An interruption is ending the process on another thread: let it.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        expected = kRunning;
    }
}

InterruptDeferral::~InterruptDeferral() {
    g_phase.store(kRunning);
    if (g_status.load() != 0 && system::ClaimEnding()) system::EndForInterrupt();
}

namespace system {

void ForEachTrackedFile(void (*remove)(const char* path)) {
    for (TrackedFile& slot : g_tracked) {
        if (slot.used.load()) remove(slot.path);
    }
}

bool ClaimEnding() {
    int expected = kRunning;
    return g_phase.compare_exchange_strong(expected, kEnding);
}

size_t FormatInterruptLine(char* line, size_t capacity) {
    size_t at = 0;
    auto append = [&](const char* text) {
        for (; *text != '\0' && at + 2 < capacity; ++text) line[at++] = *text;
    };
    append("aaxhost: stopped by ");
    append(g_cause.load());
    append("; its unfinished files were removed");
    line[at++] = '\n';
    line[at] = '\0';
    return at;
}

}  // namespace system

}  // namespace aaxhost
