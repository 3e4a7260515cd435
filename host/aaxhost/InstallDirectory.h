// The install directory the module reads: the string value "installdirectory" under
// HKEY_LOCAL_MACHINE "Software\Brenlock\VantreloDelay". On Linux the platform layer's registry
// replacement file stands in (VANTRELO_REGISTRY_FILE moves it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace aaxhost {

constexpr const char* kEffectRegistryKey = "Software\\Brenlock\\VantreloDelay";
constexpr const char* kInstallDirectoryValue = "installdirectory";
// The module reads at most 1000 bytes of the value, its terminating zero included.
constexpr size_t kMostInstallDirectoryLength = 999;

// [main] The value as the module finds it: the 64-bit view first, then the 32-bit view. False
// when neither holds it. view receives "64-bit" or "32-bit".
bool ReadInstallDirectory(std::string* directory, std::string* view);
// [main] Stores the directory (with its terminating zero) in the 64-bit view. A directory longer
// than the module reads is refused.
bool WriteInstallDirectory(const std::string& directory, std::string* error);
// Where the registry lives, for messages: the replacement file on Linux, "" on Windows.
std::string RegistryLocation();

// A registry result code in words, with its number: the system's text on Windows, the
// replacement file's reasons on Linux (its folder missing, permission denied).
std::string RegistryErrorText(int32_t code);

// A registry value exactly as stored, to put back.
struct SavedRegistryValue {
    bool present = false;
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
};

// [main] While alive, the module finds no effect: the install directory points at a folder
// that holds none, in each view that has one (the module reads the 32-bit view when the
// 64-bit one names no effect). The previous registry state comes back on destruction: the old
// values with their types, or else no value, and no key that was not there before.
class ScopedMissingEffect {
public:
    ScopedMissingEffect();
    ~ScopedMissingEffect();
    ScopedMissingEffect(const ScopedMissingEffect&) = delete;
    ScopedMissingEffect& operator=(const ScopedMissingEffect&) = delete;
    bool Active() const { return active_; }

private:
    bool active_ = false;
    std::string savedVariable_;
    bool hadVariable_ = false;
    SavedRegistryValue saved64_;
    SavedRegistryValue saved32_;
    bool hadKey_ = false;         // the effect's key
    bool hadMakerKey_ = false;    // its parent, the maker's key
};

}  // namespace aaxhost
