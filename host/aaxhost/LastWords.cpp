#include "LastWords.h"

#include <atomic>

#if defined(_WIN32)
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace aaxhost {

// A text split at its cause: what comes before, and after.
struct LastWords::Words {
    std::string outHead, outTail, errHead, errTail;
};

namespace {

std::atomic<const LastWords::Words*> gWords{nullptr};

void Split(const std::string& text, std::string* head, std::string* tail) {
    const size_t at = text.find(LastWords::kCause);
    *head = text.substr(0, at);
    *tail = at == std::string::npos ? "" : text.substr(at + std::char_traits<char>::length(LastWords::kCause));
}

#if defined(_WIN32)
void Put(DWORD stream, const std::string& text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(stream), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

LONG WINAPI Speak(EXCEPTION_POINTERS* exception) {
    const LastWords::Words* words = gWords.load();
    if (words != nullptr) {
        char cause[48] = "an exception";
        if (exception != nullptr && exception->ExceptionRecord != nullptr) {
            // Hand-made hex: nothing that may allocate runs here.
            const DWORD code = exception->ExceptionRecord->ExceptionCode;
            const char prefix[] = "exception 0x";
            size_t n = 0;
            for (; prefix[n] != '\0'; ++n) cause[n] = prefix[n];
            for (int shift = 28; shift >= 0; shift -= 4) cause[n++] = "0123456789ABCDEF"[(code >> shift) & 0xF];
            cause[n] = '\0';
        }
        Put(STD_OUTPUT_HANDLE, words->outHead);
        Put(STD_OUTPUT_HANDLE, cause);
        Put(STD_OUTPUT_HANDLE, words->outTail);
        Put(STD_ERROR_HANDLE, words->errHead);
        Put(STD_ERROR_HANDLE, cause);
        Put(STD_ERROR_HANDLE, words->errTail);
    }
    TerminateProcess(GetCurrentProcess(), 1);
    return EXCEPTION_EXECUTE_HANDLER;
}

LPTOP_LEVEL_EXCEPTION_FILTER gPrevious = nullptr;
#else
constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
struct sigaction gPrevious[sizeof kSignals / sizeof kSignals[0]];

void Put(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

void Speak(int signal) {
    const LastWords::Words* words = gWords.load();
    if (words != nullptr) {
        const char* cause = signal == SIGSEGV ? "signal SIGSEGV"
                            : signal == SIGBUS ? "signal SIGBUS"
                            : signal == SIGILL ? "signal SIGILL"
                            : signal == SIGFPE ? "signal SIGFPE"
                                               : "signal SIGABRT";
        Put(1, words->outHead);
        Put(1, cause);
        Put(1, words->outTail);
        Put(2, words->errHead);
        Put(2, cause);
        Put(2, words->errTail);
    }
    _exit(1);
}
#endif

}  // namespace

LastWords::LastWords() {
#if defined(_WIN32)
    gPrevious = SetUnhandledExceptionFilter(&Speak);
#else
    for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
        struct sigaction action {};
        action.sa_handler = &Speak;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND | SA_NODEFER;
        sigaction(kSignals[i], &action, &gPrevious[i]);
    }
#endif
}

LastWords::~LastWords() {
    gWords.store(nullptr);
#if defined(_WIN32)
    SetUnhandledExceptionFilter(gPrevious);
#else
    for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) sigaction(kSignals[i], &gPrevious[i], nullptr);
#endif
}

void LastWords::Set(const std::string& out, const std::string& err) {
    auto words = std::make_unique<Words>();
    Split(out, &words->outHead, &words->outTail);
    Split(err, &words->errHead, &words->errTail);
    gWords.store(words.get());
    kept_.push_back(std::move(words));
}

}  // namespace aaxhost
