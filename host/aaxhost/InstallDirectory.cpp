#include "InstallDirectory.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>

#include "FileAccess.h"
#include "platform/platform.h"
#include "platform/registry_writer.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace aaxhost {

namespace {

bool ReadView(uint32_t view, std::string* value) {
    platform::RegistryKey key = nullptr;
    if (platform::RegistryOpenKey(platform::RootKey::LocalMachine, kEffectRegistryKey, platform::kKeyRead | view,
                                  &key) != platform::kRegistrySuccess) {
        return false;
    }
    // Room for more than the module reads, so that a value too long for it can be reported.
    char text[4096] = {};
    uint32_t size = sizeof text;
    const int32_t result = platform::RegistryQueryText(key, kInstallDirectoryValue, text, &size);
    platform::RegistryCloseKey(key);
    if (result != platform::kRegistrySuccess) return false;
    value->assign(text, size);
    return true;
}

#if defined(_WIN32)
constexpr const char* kMakerRegistryKey = "Software\\Brenlock";

SavedRegistryValue SaveValue(uint32_t view) {
    SavedRegistryValue saved;
    platform::RegistryKey key = nullptr;
    if (platform::RegistryOpenKey(platform::RootKey::LocalMachine, kEffectRegistryKey, platform::kKeyRead | view,
                                  &key) != platform::kRegistrySuccess) {
        return saved;
    }
    saved.bytes.resize(4096);
    for (int attempt = 0; attempt < 2; ++attempt) {
        uint32_t size = static_cast<uint32_t>(saved.bytes.size());
        const int32_t result =
            platform::RegistryQueryValue(key, kInstallDirectoryValue, saved.bytes.data(), &size, &saved.type);
        if (result == platform::kRegistryMoreData) {
            saved.bytes.resize(size);
            continue;
        }
        saved.present = result == platform::kRegistrySuccess;
        saved.bytes.resize(saved.present ? size : 0);
        break;
    }
    platform::RegistryCloseKey(key);
    return saved;
}

bool KeyExists(const char* subKey, uint32_t view) {
    platform::RegistryKey key = nullptr;
    if (platform::RegistryOpenKey(platform::RootKey::LocalMachine, subKey, platform::kKeyRead | view, &key) !=
        platform::kRegistrySuccess) {
        return false;
    }
    platform::RegistryCloseKey(key);
    return true;
}
#else
void SetVariable(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }
void UnsetVariable(const char* name) { unsetenv(name); }
#endif

}  // namespace

bool ReadInstallDirectory(std::string* directory, std::string* view) {
    if (ReadView(platform::kKeyWow64_64Key, directory)) {
        if (view) *view = "64-bit";
        return true;
    }
    if (ReadView(platform::kKeyWow64_32Key, directory)) {
        if (view) *view = "32-bit";
        return true;
    }
    return false;
}

bool WriteInstallDirectory(const std::string& directory, std::string* error) {
    if (directory.size() > kMostInstallDirectoryLength) {
        if (error) {
            *error = "the install directory may have at most " + std::to_string(kMostInstallDirectoryLength) +
                     " characters, the most the module reads; this one has " + std::to_string(directory.size());
        }
        return false;
    }
    const int32_t result =
        platform::RegistryWriteText(platform::RootKey::LocalMachine, kEffectRegistryKey, platform::kKeyWow64_64Key,
                                    kInstallDirectoryValue, platform::kRegistryString, directory.c_str(),
                                    static_cast<uint32_t>(directory.size() + 1));
    if (result != platform::kRegistrySuccess) {
        if (error) {
            const std::string location = RegistryLocation();
            *error = "cannot write the install directory" + (location.empty() ? "" : " to " + location) + ": " +
                     RegistryErrorText(result);
        }
        return false;
    }
    return true;
}

std::string RegistryErrorText(int32_t code) {
    const std::string number = " (error " + std::to_string(code) + ")";
#if defined(_WIN32)
    if (code == platform::kRegistryAccessDenied) {
        return "access is denied; writing under HKEY_LOCAL_MACHINE needs an administrator" + number;
    }
    char text[256] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == '.')) {
        text[--length] = '\0';
    }
    if (length > 0) return text + number;
    return "the registry refused it" + number;
#else
    // The replacement file's own reasons, in the terms of its folder.
    const std::filesystem::path file = RegistryLocation();
    std::error_code ec;
    switch (code) {
        case platform::kRegistryNotFound:
            if (!file.parent_path().empty() && !std::filesystem::is_directory(file.parent_path(), ec)) {
                return "the folder " + file.parent_path().string() + " does not exist" + number;
            }
            return "the file cannot be created there" + number;
        case platform::kRegistryAccessDenied:
            return "permission denied, or the disk is full (run as root, or name a file you may write with " +
                   std::string(platform::kRegistryFileVariable) + ")" + number;
        case platform::kRegistryOutOfMemory:
            return "out of memory" + number;
        default:
            return "the registry file refused it" + number;
    }
#endif
}

std::string RegistryLocation() {
    const char* location = platform::RegistryStorageLocation();
    return location != nullptr ? location : "";
}

ScopedMissingEffect::ScopedMissingEffect() {
    std::error_code ec;
    std::random_device random;
    const std::filesystem::path empty =
        std::filesystem::temp_directory_path(ec) / ("aaxhost-no-effect-" + std::to_string(random() % 1000000000u));
#if defined(_WIN32)
    // The real registry: point the 64-bit view, and the 32-bit one when it has a value, at a
    // folder without the effect, and put the old values back afterwards.
    saved64_ = SaveValue(platform::kKeyWow64_64Key);
    saved32_ = SaveValue(platform::kKeyWow64_32Key);
    hadKey_ = KeyExists(kEffectRegistryKey, platform::kKeyWow64_64Key);
    hadMakerKey_ = KeyExists(kMakerRegistryKey, platform::kKeyWow64_64Key);
    const std::string folder = TextOf(empty);
    active_ = WriteInstallDirectory(folder, nullptr) &&
              (!saved32_.present ||
               platform::RegistryWriteText(platform::RootKey::LocalMachine, kEffectRegistryKey,
                                           platform::kKeyWow64_32Key, kInstallDirectoryValue, platform::kRegistryString,
                                           folder.c_str(), static_cast<uint32_t>(folder.size() + 1)) ==
                   platform::kRegistrySuccess);
#else
    // The replacement registry: a file of our own that names a folder without the effect.
    const char* variable = std::getenv(platform::kRegistryFileVariable);
    hadVariable_ = variable != nullptr;
    if (hadVariable_) savedVariable_ = variable;
    SetVariable(platform::kRegistryFileVariable, (TextOf(empty) + ".registry"));
    active_ = WriteInstallDirectory(TextOf(empty), nullptr);
#endif
}

ScopedMissingEffect::~ScopedMissingEffect() {
#if defined(_WIN32)
    if (!active_) return;
    constexpr platform::RootKey kRoot = platform::RootKey::LocalMachine;
    constexpr uint32_t kView = platform::kKeyWow64_64Key;
    const auto restore = [](uint32_t view, const SavedRegistryValue& saved) {
        platform::RegistryWriteValue(kRoot, kEffectRegistryKey, view, kInstallDirectoryValue, saved.type,
                                     saved.bytes.data(), static_cast<uint32_t>(saved.bytes.size()));
    };
    if (saved32_.present) restore(platform::kKeyWow64_32Key, saved32_);
    if (saved64_.present) {
        restore(kView, saved64_);
    } else if (hadKey_) {
        // The key holds values of the maker's that are not ours to remove.
        platform::RegistryDeleteValue(kRoot, kEffectRegistryKey, kView, kInstallDirectoryValue);
    } else {
        platform::RegistryDeleteKey(kRoot, kEffectRegistryKey, kView);
        if (!hadMakerKey_) platform::RegistryDeleteKey(kRoot, kMakerRegistryKey, kView);
    }
#else
    std::error_code ec;
    std::filesystem::remove(RegistryLocation(), ec);
    if (hadVariable_) {
        SetVariable(platform::kRegistryFileVariable, savedVariable_);
    } else {
        UnsetVariable(platform::kRegistryFileVariable);
    }
#endif
}

}  // namespace aaxhost
