// What `aaxhost validate` says when the module under test takes the process down: it is
// third-party code run in the host's own process, and a crash inside it must still end with
// the failing check and the summary line, not with the system's message alone.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace aaxhost {

// [main] While alive, a crash (a fatal signal on Linux: SIGSEGV, SIGBUS, SIGILL, SIGFPE,
// SIGABRT; an unhandled exception on Windows) writes the words last set to stdout and stderr,
// with the cause where each holds kCause, and ends the process with exit status 1. The
// handlers that were there before come back on destruction. One at a time.
class LastWords {
public:
    static constexpr const char* kCause = "@CAUSE@";

    LastWords();
    ~LastWords();
    LastWords(const LastWords&) = delete;
    LastWords& operator=(const LastWords&) = delete;

    // [main] What a crash from now on writes (whole texts, each with kCause at most once).
    void Set(const std::string& out, const std::string& err);

    struct Words;

private:
    std::vector<std::unique_ptr<Words>> kept_;  // every text set stays readable until the end
};

}  // namespace aaxhost
