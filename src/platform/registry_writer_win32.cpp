// Registry writers on Windows: the wide-character Win32 calls.
#include "platform/registry_writer.h"

#include <string>

#include "platform/win32_text.h"

namespace platform {
namespace {

using win32::RootHandle;
using win32::WideFromUtf8;

HKEY Root(RootKey root) { return RootHandle(root == RootKey::LocalMachine); }

}  // namespace

int32_t RegistryWriteValue(RootKey root, const char* subKey, uint32_t viewFlag, const char* valueName, uint32_t type,
                           const void* data, uint32_t size) noexcept {
    try {
        std::wstring wideKey, name;
        if (!WideFromUtf8(subKey, &wideKey) || !WideFromUtf8(valueName, &name)) return ERROR_INVALID_PARAMETER;
        HKEY key = nullptr;
        LSTATUS status = ::RegCreateKeyExW(Root(root), wideKey.c_str(), 0, nullptr, 0, KEY_WRITE | viewFlag, nullptr,
                                           &key, nullptr);
        if (status != ERROR_SUCCESS) return static_cast<int32_t>(status);
        status = ::RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
        ::RegCloseKey(key);
        return static_cast<int32_t>(status);
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

int32_t RegistryWriteText(RootKey root, const char* subKey, uint32_t viewFlag, const char* valueName, uint32_t type,
                          const char* text, uint32_t size) noexcept {
    try {
        std::wstring wide;
        if (text == nullptr || !WideFromUtf8(text, size, &wide)) return ERROR_INVALID_PARAMETER;
        return RegistryWriteValue(root, subKey, viewFlag, valueName, type, wide.data(),
                                  static_cast<uint32_t>(wide.size() * sizeof(wchar_t)));
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

int32_t RegistryDeleteKey(RootKey root, const char* subKey, uint32_t viewFlag) noexcept {
    try {
        std::wstring wideKey;
        if (!WideFromUtf8(subKey, &wideKey)) return ERROR_INVALID_PARAMETER;
        const LSTATUS status = ::RegDeleteKeyExW(Root(root), wideKey.c_str(), viewFlag, 0);
        return status == ERROR_FILE_NOT_FOUND ? 0 : static_cast<int32_t>(status);
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

int32_t RegistryDeleteValue(RootKey root, const char* subKey, uint32_t viewFlag, const char* valueName) noexcept {
    try {
        std::wstring wideKey, name;
        if (!WideFromUtf8(subKey, &wideKey) || !WideFromUtf8(valueName, &name)) return ERROR_INVALID_PARAMETER;
        HKEY key = nullptr;
        LSTATUS status = ::RegOpenKeyExW(Root(root), wideKey.c_str(), 0, KEY_SET_VALUE | viewFlag, &key);
        if (status == ERROR_SUCCESS) {
            status = ::RegDeleteValueW(key, name.c_str());
            ::RegCloseKey(key);
        }
        return status == ERROR_FILE_NOT_FOUND ? 0 : static_cast<int32_t>(status);
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

}  // namespace platform
