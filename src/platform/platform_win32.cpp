// Platform services on Windows: the Win32 registry, loader and mutex themselves.
#include "platform/platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <io.h>

#include <cstdio>

namespace platform {
namespace {

HKEY RootHandle(RootKey root) { return root == RootKey::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

thread_local char lastLoadError[512] = "";

}  // namespace

int32_t RegistryOpenKey(RootKey root, const char* subKey, uint32_t access, RegistryKey* outKey) noexcept {
    if (outKey == nullptr) return ERROR_INVALID_PARAMETER;
    HKEY key = nullptr;
    const LSTATUS status = ::RegOpenKeyExA(RootHandle(root), subKey, 0, access, &key);
    if (status == ERROR_SUCCESS) *outKey = key;
    return static_cast<int32_t>(status);
}

int32_t RegistryQueryValue(RegistryKey key, const char* valueName, uint8_t* data, uint32_t* size) noexcept {
    if (size == nullptr) return ERROR_INVALID_PARAMETER;
    DWORD bytes = *size;
    const LSTATUS status =
        ::RegQueryValueExA(static_cast<HKEY>(key), valueName, nullptr, nullptr, data, &bytes);
    *size = bytes;
    return static_cast<int32_t>(status);
}

int32_t RegistryCloseKey(RegistryKey key) noexcept { return static_cast<int32_t>(::RegCloseKey(static_cast<HKEY>(key))); }

int32_t RegistryWriteValue(RootKey root, const char* subKey, uint32_t viewFlag, const char* valueName,
                           const void* data, uint32_t size) noexcept {
    HKEY key = nullptr;
    LSTATUS status = ::RegCreateKeyExA(RootHandle(root), subKey, 0, nullptr, 0, KEY_WRITE | viewFlag,
                                       nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return static_cast<int32_t>(status);
    status = ::RegSetValueExA(key, valueName, 0, REG_SZ, static_cast<const BYTE*>(data), size);
    ::RegCloseKey(key);
    return static_cast<int32_t>(status);
}

int32_t RegistryDeleteKey(RootKey root, const char* subKey, uint32_t viewFlag) noexcept {
    const LSTATUS status = ::RegDeleteKeyExA(RootHandle(root), subKey, viewFlag, 0);
    return status == ERROR_FILE_NOT_FOUND ? 0 : static_cast<int32_t>(status);
}

int32_t RegistryDeleteValue(RootKey root, const char* subKey, uint32_t viewFlag, const char* valueName) noexcept {
    HKEY key = nullptr;
    LSTATUS status = ::RegOpenKeyExA(RootHandle(root), subKey, 0, KEY_SET_VALUE | viewFlag, &key);
    if (status == ERROR_SUCCESS) {
        status = ::RegDeleteValueA(key, valueName);
        ::RegCloseKey(key);
    }
    return status == ERROR_FILE_NOT_FOUND ? 0 : static_cast<int32_t>(status);
}

const char* RegistryStorageLocation() noexcept { return ""; }

LibraryHandle LoadLibraryFile(const char* path) noexcept {
    HMODULE module = ::LoadLibraryA(path);
    if (module == nullptr) {
        std::snprintf(lastLoadError, sizeof lastLoadError, "LoadLibraryA failed with error %lu",
                      static_cast<unsigned long>(::GetLastError()));
    } else {
        lastLoadError[0] = '\0';
    }
    return module;
}

void* LookupSymbol(LibraryHandle library, const char* name) noexcept {
    if (library == nullptr) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

const char* LastLoadError() { return lastLoadError; }

bool IsTerminal(int stream) { return ::_isatty(stream) != 0; }

MutexHandle CreateOwnerMutex() { return ::CreateMutexA(nullptr, FALSE, nullptr); }

bool WaitForOwnerMutex(MutexHandle mutex) {
    if (mutex == nullptr) return false;
    const DWORD result = ::WaitForSingleObject(mutex, INFINITE);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

void ReleaseOwnerMutex(MutexHandle mutex) {
    if (mutex != nullptr) ::ReleaseMutex(mutex);
}

void CloseOwnerMutex(MutexHandle mutex) {
    if (mutex != nullptr) ::CloseHandle(mutex);
}

uint32_t CurrentThreadId() { return static_cast<uint32_t>(::GetCurrentThreadId()); }

// Read from the thread's own information block: no call into the system's TLS machinery.
uintptr_t CurrentThreadTag() noexcept { return static_cast<uintptr_t>(::GetCurrentThreadId()); }

}  // namespace platform
