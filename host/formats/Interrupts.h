// What the command does when it is interrupted: it never leaves its temporary files behind and
// always ends with one line saying why.
//
// POSIX: SIGINT, SIGTERM and SIGHUP remove every tracked temporary file, write
// "aaxhost: stopped by SIGINT; its unfinished files were removed" and end the process at once
// with 128 + the signal (130, 143, 129). A signal ignored when the program started (nohup, a
// background job) stays ignored. SIGXFSZ and SIGPIPE are ignored, so that writing past the
// file-size limit or into a closed pipe fails like any other write, with its reason.
//
// Windows: Ctrl-C and Ctrl-Break ask the command to stop with 130, closing the console (or
// logging off, shutting down) with 129. A render or a window stops at its next buffer or tick
// and unwinds, which removes its temporary files; anything else is ended by the handler after
// a few seconds, the same way as on POSIX.
//
// While several outputs replace their targets (InterruptDeferral), an interruption waits until
// they all have, or all have been put back.
#pragma once

#include <string>

namespace aaxhost {

// [main] Once, at the start of the program.
void InstallInterruptHandlers();

// [any] 0, or the exit status an interruption asks for.
int InterruptStatus();
// [any] What asked for it ("SIGINT", "Ctrl-C"), or "".
const char* InterruptCause();
// [any] Asks the command to stop at its next chance, as a console event does on Windows.
void RequestInterrupt(int status, const char* cause);
// Why the command stops, for its one line: "stopped by SIGINT; its unfinished files were removed".
std::string InterruptReason();

// [main] Files removed by an interruption until they are forgotten (at most 16 at once).
void TrackTemporaryFile(const std::string& path);
void ForgetTemporaryFile(const std::string& path);

// [main] Holds interruptions off while it exists; one that arrives meanwhile takes effect when
// it goes. Not nested.
class InterruptDeferral {
public:
    InterruptDeferral();
    ~InterruptDeferral();
    InterruptDeferral(const InterruptDeferral&) = delete;
    InterruptDeferral& operator=(const InterruptDeferral&) = delete;
};

}  // namespace aaxhost
