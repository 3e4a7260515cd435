// The few operating-system services the module needs: the machine-wide registry, library
// loading, an owner-thread mutex and the thread identity. On Windows these are the Win32
// calls themselves; elsewhere a replacement with the same contract stands in. Nothing outside
// this folder includes an operating-system header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform {

// ---------------------------------------------------------------------------------------------
// Registry. Results are Win32 error codes: 0 is success. Nothing here throws: a replacement
// that runs out of memory answers kRegistryOutOfMemory. Key and value names, and texts, are
// UTF-8; on Windows they cross to the system through its wide-character calls. Writing lives
// apart, in platform/registry_writer.h, which the module does not link.

constexpr int32_t kRegistrySuccess = 0;
constexpr int32_t kRegistryNotFound = 2;     // ERROR_FILE_NOT_FOUND
constexpr int32_t kRegistryAccessDenied = 5; // ERROR_ACCESS_DENIED
constexpr int32_t kRegistryMoreData = 234;   // ERROR_MORE_DATA: the value does not fit the buffer
constexpr int32_t kRegistryOutOfMemory = 14; // ERROR_OUTOFMEMORY

// Access mask bits, with their Win32 values.
constexpr uint32_t kKeyRead = 0x20019;        // KEY_READ
constexpr uint32_t kKeyWrite = 0x20006;       // KEY_WRITE
constexpr uint32_t kKeyWow64_64Key = 0x0100;  // KEY_WOW64_64KEY: the 64-bit view
constexpr uint32_t kKeyWow64_32Key = 0x0200;  // KEY_WOW64_32KEY: the 32-bit view

// Value types, with their Win32 values.
constexpr uint32_t kRegistryString = 1;        // REG_SZ
constexpr uint32_t kRegistryExpandString = 2;  // REG_EXPAND_SZ: holds %VARIABLE% references
constexpr uint32_t kRegistryBinary = 3;        // REG_BINARY
constexpr uint32_t kRegistryMultiString = 7;   // REG_MULTI_SZ

enum class RootKey { LocalMachine, CurrentUser };

using RegistryKey = void*;

// [main] Opens root\subKey with the access mask (view flags included). On success *outKey
// holds a key to close with RegistryCloseKey.
int32_t RegistryOpenKey(RootKey root, const char* subKey, uint32_t access, RegistryKey* outKey) noexcept;
// [main] Reads the value's bytes exactly as stored (a string value's are UTF-16 on Windows)
// into data, and its type into *type when type is not null. On entry *size is the capacity of
// data; on success it is the number of bytes stored. A value larger than the capacity answers
// kRegistryMoreData. No terminator is added to what is stored.
int32_t RegistryQueryValue(RegistryKey key, const char* valueName, uint8_t* data, uint32_t* size,
                           uint32_t* type = nullptr) noexcept;
// [main] Reads the value as text: UTF-8 with a terminating zero. A string value (plain,
// expandable or multiple) gives its characters up to the first zero, read through the
// wide-character API on Windows; an expandable one has its %VARIABLE% references replaced from
// the environment (an undefined one stays as written). A value of any other type gives its
// bytes up to the first zero, taken as text in the system's code page. On entry *size is the
// capacity of text in bytes; on success it is the length of the text without its terminator.
// Text that does not fit with its terminator answers kRegistryMoreData. The value's type goes
// to *type when type is not null.
int32_t RegistryQueryText(RegistryKey key, const char* valueName, char* text, uint32_t* size,
                          uint32_t* type = nullptr) noexcept;
// [main]
int32_t RegistryCloseKey(RegistryKey key) noexcept;

// Where the replacement registry keeps its data, and the variable that moves it. On Windows
// the real registry is used and both are empty.
const char* RegistryStorageLocation() noexcept;
constexpr const char* kRegistryFileVariable = "VANTRELO_REGISTRY_FILE";

// ---------------------------------------------------------------------------------------------
// Libraries. A loaded library is never unloaded.

using LibraryHandle = void*;

// The longest path that libraries are loaded and files found by, terminator not counted, in the
// system's own units: UTF-16 code units on Windows (its classic limit, which hosts that are not
// long-path aware keep), bytes elsewhere.
#if defined(_WIN32)
constexpr size_t kMostPathLength = 259;
#else
constexpr size_t kMostPathLength = 4095;
#endif

// [main] Loads the library at path (UTF-8), or returns null. A path longer than kMostPathLength
// is refused without asking the system. On Windows an absolute path is loaded with the
// library's own folder searched first for the libraries it needs (so a library that ships
// its own beside it works whatever the host's current folder), and forward slashes count as
// backslashes.
LibraryHandle LoadLibraryFile(const char* path) noexcept;
// [main] Whether path (UTF-8) names an existing file that is not a folder. A path longer than
// kMostPathLength names none.
bool FileExists(const char* path) noexcept;
// [main] The exported symbol, or null.
void* LookupSymbol(LibraryHandle library, const char* name) noexcept;
// [main] A one-line reason for the last failed LoadLibraryFile on this thread ("" if none).
const char* LastLoadError();

// The folder separator and the wrapped effect's library file name on this platform.
#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
constexpr const char* kPathSeparatorText = "\\";
constexpr const char* kEffectLibraryFileName = "VantreloDelay.dll";
constexpr const char* kSharedLibrarySuffix = ".dll";
#else
constexpr char kPathSeparator = '/';
constexpr const char* kPathSeparatorText = "/";
constexpr const char* kEffectLibraryFileName = "VantreloDelay.so";
constexpr const char* kSharedLibrarySuffix = ".so";
#endif

// [any] Whether c separates folders in a path: on Windows a forward slash does too.
constexpr bool IsPathSeparator(char c) {
#if defined(_WIN32)
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}
// [any] Whether path names its place without reference to a current folder or drive: on
// Windows a drive letter, a colon and a separator, or two separators (a network share or a
// device path); elsewhere a leading '/'.
constexpr bool IsAbsolutePath(std::string_view path) {
#if defined(_WIN32)
    const bool drive = path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':' && IsPathSeparator(path[2]);
    return drive || (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]));
#else
    return !path.empty() && path[0] == '/';
#endif
}

// [any] Whether the standard stream (0 input, 1 output, 2 error) is a terminal.
bool IsTerminal(int stream);

// ---------------------------------------------------------------------------------------------
// Mutex and thread identity.

using MutexHandle = void*;

// [any] An unnamed mutex, not initially owned, or null when it cannot be created.
MutexHandle CreateOwnerMutex();
// [any] Waits without a time limit. Returns true once the calling thread owns the mutex.
bool WaitForOwnerMutex(MutexHandle mutex);
// [any]
void ReleaseOwnerMutex(MutexHandle mutex);
// [any]
void CloseOwnerMutex(MutexHandle mutex);
// [any] Never 0.
uint32_t CurrentThreadId();
// [any] The calling thread's identity as a cheap tag: no system call, no allocation, no lock, on
// any thread and from its first call (the audio thread's included). Never 0; two threads alive at
// the same time never share one. Only compared, never interpreted. One instruction, inlined: the
// address of the thread's own control block, which the thread register points at (Windows: the
// thread information block's self pointer; Linux: the thread control block's).
inline uintptr_t CurrentThreadTag() noexcept {
    uintptr_t tag;
#if defined(_WIN64)
    __asm__("movq %%gs:0x30, %0" : "=r"(tag));
#elif defined(__x86_64__) && defined(__linux__)
    __asm__("movq %%fs:0, %0" : "=r"(tag));
#else
#error "CurrentThreadTag: no thread register known for this target"
#endif
    return tag;
}

// ---------------------------------------------------------------------------------------------
// Log.

// [any] Writes one line of diagnostics, kLogPrefix first, where the process shows them: the
// standard error stream, and on Windows also the debugger's output, which a windowed host without
// a console still has. The text ends at its first line break; the line, prefix included, is cut
// to kLogLineLimit characters. Takes the standard error stream's lock; allocates nothing.
void LogLine(const char* text) noexcept;
constexpr size_t kLogLineLimit = 512;
constexpr const char* kLogPrefix = "VantreloDelayAAX: ";

}  // namespace platform
