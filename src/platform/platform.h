// The few operating-system services the module needs: the machine-wide registry, library
// loading, an owner-thread mutex and the thread identity. On Windows these are the Win32
// calls themselves; elsewhere a replacement with the same contract stands in. Nothing outside
// this folder includes an operating-system header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// ---------------------------------------------------------------------------------------------
// Registry. Results are Win32 error codes: 0 is success. Nothing here throws: a replacement
// that runs out of memory answers kRegistryOutOfMemory.

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

enum class RootKey { LocalMachine, CurrentUser };

using RegistryKey = void*;

// [main] Opens root\subKey with the access mask (view flags included). On success *outKey
// holds a key to close with RegistryCloseKey.
int32_t RegistryOpenKey(RootKey root, const char* subKey, uint32_t access, RegistryKey* outKey) noexcept;
// [main] Reads the value's bytes into data. On entry *size is the capacity of data; on
// success it is the number of bytes stored. The value's type is not reported. A value larger
// than the capacity answers kRegistryMoreData. No terminator is added to what is stored.
int32_t RegistryQueryValue(RegistryKey key, const char* valueName, uint8_t* data, uint32_t* size) noexcept;
// [main]
int32_t RegistryCloseKey(RegistryKey key) noexcept;

// [main] Creates root\subKey in the view named by viewFlag (kKeyWow64_64Key or
// kKeyWow64_32Key) if needed, and stores the value's bytes exactly as given, as a string
// value. For installers, tools and tests.
int32_t RegistryWriteValue(RootKey root, const char* subKey, uint32_t viewFlag, const char* valueName,
                           const void* data, uint32_t size) noexcept;
// [main] Removes root\subKey (and its values) from one view. Missing keys are not an error.
int32_t RegistryDeleteKey(RootKey root, const char* subKey, uint32_t viewFlag) noexcept;
// [main] Removes one value of root\subKey in one view, leaving the key and its other values.
// A missing key or value is not an error.
int32_t RegistryDeleteValue(RootKey root, const char* subKey, uint32_t viewFlag, const char* valueName) noexcept;

// Where the replacement registry keeps its data, and the variable that moves it. On Windows
// the real registry is used and both are empty.
const char* RegistryStorageLocation() noexcept;
constexpr const char* kRegistryFileVariable = "VANTRELO_REGISTRY_FILE";

// ---------------------------------------------------------------------------------------------
// Libraries. A loaded library is never unloaded.

using LibraryHandle = void*;

// [main] Loads the library at path (an 8-bit path), or returns null.
LibraryHandle LoadLibraryFile(const char* path) noexcept;
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
// the same time never share one. Only compared, never interpreted.
uintptr_t CurrentThreadTag() noexcept;

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
