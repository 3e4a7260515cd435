// Platform services on Windows: the Win32 registry (read only), loader and mutex themselves.
#include "platform/platform.h"

#include <io.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/win32_text.h"

namespace platform {
namespace {

using win32::RootHandle;
using win32::Utf8FromWide;
using win32::WideFromUtf8;

thread_local char lastLoadError[512] = "";

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The value's text in UTF-16, up to its first zero: string types as stored (expandable ones
// expanded), other types' bytes as text in the system code page. At most capacity units.
int32_t ReadWideText(HKEY key, const std::wstring& name, size_t capacity, std::wstring* text, DWORD* type) {
    DWORD bytes = 0;
    LSTATUS status = ::RegQueryValueExW(key, name.c_str(), nullptr, type, nullptr, &bytes);
    if (status != ERROR_SUCCESS) return static_cast<int32_t>(status);
    // A value this long cannot give text that fits (a string type's units, or single bytes).
    if (bytes > 2 * (capacity + 1)) return kRegistryMoreData;
    std::wstring stored(bytes / sizeof(wchar_t) + 2, L'\0');
    status = ::RegQueryValueExW(key, name.c_str(), nullptr, type, reinterpret_cast<BYTE*>(stored.data()), &bytes);
    if (status != ERROR_SUCCESS) return static_cast<int32_t>(status);
    if (IsStringType(*type)) {
        stored.resize(::wcsnlen(stored.c_str(), bytes / sizeof(wchar_t)));
    } else {
        const char* narrow = reinterpret_cast<const char*>(stored.data());
        const int length = static_cast<int>(::strnlen(narrow, bytes));
        std::wstring converted(static_cast<size_t>(length), L'\0');
        if (length > 0 && ::MultiByteToWideChar(CP_ACP, 0, narrow, length, converted.data(), length) <= 0) {
            return ERROR_INVALID_DATA;
        }
        converted.resize(::wcsnlen(converted.c_str(), converted.size()));
        stored = std::move(converted);
    }
    if (*type == REG_EXPAND_SZ) {
        const DWORD needed = ::ExpandEnvironmentStringsW(stored.c_str(), nullptr, 0);
        if (needed == 0) return static_cast<int32_t>(::GetLastError());
        std::wstring expanded(needed, L'\0');
        if (::ExpandEnvironmentStringsW(stored.c_str(), expanded.data(), needed) == 0) {
            return static_cast<int32_t>(::GetLastError());
        }
        expanded.resize(::wcsnlen(expanded.c_str(), expanded.size()));
        stored = std::move(expanded);
    }
    if (stored.size() > capacity) return kRegistryMoreData;
    *text = std::move(stored);
    return kRegistrySuccess;
}

// The wide form of a path, with forward slashes as backslashes; false when it is not UTF-8 or
// longer than the system takes (the reason goes to lastLoadError).
bool SystemPath(const char* path, std::wstring* wide) {
    if (path == nullptr || !WideFromUtf8(path, wide)) {
        std::snprintf(lastLoadError, sizeof lastLoadError, "the path is not UTF-8 text");
        ::SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    if (wide->size() > kMostPathLength) {
        std::snprintf(lastLoadError, sizeof lastLoadError,
                      "the path is %zu characters long; Windows loads libraries by paths of at most %zu",
                      wide->size(), kMostPathLength);
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    for (wchar_t& c : *wide) {
        if (c == L'/') c = L'\\';
    }
    return true;
}

}  // namespace

int32_t RegistryOpenKey(RootKey root, const char* subKey, uint32_t access, RegistryKey* outKey) noexcept {
    if (outKey == nullptr) return ERROR_INVALID_PARAMETER;
    try {
        std::wstring wideKey;
        if (!WideFromUtf8(subKey, &wideKey)) return ERROR_INVALID_PARAMETER;
        HKEY key = nullptr;
        const LSTATUS status =
            ::RegOpenKeyExW(RootHandle(root == RootKey::LocalMachine), wideKey.c_str(), 0, access, &key);
        if (status == ERROR_SUCCESS) *outKey = key;
        return static_cast<int32_t>(status);
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

int32_t RegistryQueryValue(RegistryKey key, const char* valueName, uint8_t* data, uint32_t* size,
                           uint32_t* type) noexcept {
    if (size == nullptr) return ERROR_INVALID_PARAMETER;
    try {
        std::wstring name;
        if (!WideFromUtf8(valueName != nullptr ? valueName : "", &name)) return ERROR_INVALID_PARAMETER;
        DWORD bytes = *size;
        DWORD valueType = REG_NONE;
        const LSTATUS status =
            ::RegQueryValueExW(static_cast<HKEY>(key), name.c_str(), nullptr, &valueType, data, &bytes);
        *size = bytes;
        if (type != nullptr) *type = valueType;
        return static_cast<int32_t>(status);
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

int32_t RegistryQueryText(RegistryKey key, const char* valueName, char* text, uint32_t* size,
                          uint32_t* type) noexcept {
    if (text == nullptr || size == nullptr || *size == 0) return ERROR_INVALID_PARAMETER;
    try {
        std::wstring name;
        if (!WideFromUtf8(valueName != nullptr ? valueName : "", &name)) return ERROR_INVALID_PARAMETER;
        // UTF-8 takes at least one byte per UTF-16 unit, so the capacity bounds the units read.
        std::wstring wide;
        DWORD valueType = REG_NONE;
        const int32_t result = ReadWideText(static_cast<HKEY>(key), name, *size - 1, &wide, &valueType);
        if (type != nullptr) *type = valueType;
        if (result != kRegistrySuccess) return result;
        std::string utf8;
        if (!Utf8FromWide(wide.data(), wide.size(), &utf8)) return ERROR_INVALID_DATA;
        if (utf8.size() + 1 > *size) return kRegistryMoreData;
        std::memcpy(text, utf8.c_str(), utf8.size() + 1);
        *size = static_cast<uint32_t>(utf8.size());
        return kRegistrySuccess;
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

int32_t RegistryCloseKey(RegistryKey key) noexcept { return static_cast<int32_t>(::RegCloseKey(static_cast<HKEY>(key))); }

const char* RegistryStorageLocation() noexcept { return ""; }

LibraryHandle LoadLibraryFile(const char* path) noexcept {
    try {
        std::wstring wide;
        if (!SystemPath(path, &wide)) return nullptr;
        // The library's own folder first for what it imports; defined only for absolute paths.
        const DWORD flags = IsAbsolutePath(path) ? LOAD_WITH_ALTERED_SEARCH_PATH : 0;
        HMODULE module = ::LoadLibraryExW(wide.c_str(), nullptr, flags);
        if (module == nullptr) {
            std::snprintf(lastLoadError, sizeof lastLoadError, "LoadLibraryExW failed with error %lu",
                          static_cast<unsigned long>(::GetLastError()));
        } else {
            lastLoadError[0] = '\0';
        }
        return module;
    } catch (...) {
        std::snprintf(lastLoadError, sizeof lastLoadError, "out of memory");
        return nullptr;
    }
}

bool FileExists(const char* path) noexcept {
    try {
        std::wstring wide;
        if (!SystemPath(path, &wide)) return false;
        const DWORD attributes = ::GetFileAttributesW(wide.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    } catch (...) {
        return false;
    }
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


}  // namespace platform
