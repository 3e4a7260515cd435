// The diagnostics line, shared by both systems.
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace platform {

void LogLine(const char* text) noexcept {
    char line[kLogLineLimit + 2];
    std::snprintf(line, kLogLineLimit + 1, "%s%s", kLogPrefix, text != nullptr ? text : "");
    size_t length = std::strcspn(line, "\r\n");
    line[length++] = '\n';
    line[length] = '\0';
#if defined(_WIN32)
    ::OutputDebugStringA(line);
#endif
    std::fputs(line, stderr);
    std::fflush(stderr);
}

}  // namespace platform
