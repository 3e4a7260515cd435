// Finds the wrapped effect's library through the machine-wide registry, loads it and asks its
// entry point for a new effect instance.
#pragma once

#include <cstdint>
#include <string_view>

#include "interfaces/vst2.h"
#include "platform/platform.h"

// The registry key and value that name the installation directory.
constexpr const char* kVstInstallKey = "Software\\Brenlock\\VantreloDelay";
constexpr const char* kVstInstallValue = "installdirectory";
// The folder below the installation directory that holds the effect library.
constexpr const char* kVstLibraryFolder = "VST64";
// The value is read as UTF-8 text with this limit in bytes, terminator included; the directory
// text therefore holds at most kVstInstallValueLimit - 1 bytes. The library's path must also fit
// the system's limit (platform::kMostPathLength).
constexpr uint32_t kVstInstallValueLimit = 1000;
// Access masks of the key opens, in the order they are tried: the 64-bit view (a second time
// when the first open fails), then the 32-bit view.
constexpr uint32_t kVstKeyAccess64 = platform::kKeyRead | platform::kKeyWow64_64Key;  // 0x20119
constexpr uint32_t kVstKeyAccess32 = platform::kKeyRead | platform::kKeyWow64_32Key;  // 0x20219

// The operating-system services the loader uses. The defaults are the platform layer's; tests
// substitute recording or failing versions.
struct VstLoaderOps {
    int32_t (*openKey)(platform::RootKey root, const char* subKey, uint32_t access,
                       platform::RegistryKey* outKey) = platform::RegistryOpenKey;
    int32_t (*queryText)(platform::RegistryKey key, const char* valueName, char* text, uint32_t* size,
                         uint32_t* type) = platform::RegistryQueryText;
    int32_t (*closeKey)(platform::RegistryKey key) = platform::RegistryCloseKey;
    bool (*fileExists)(const char* path) = platform::FileExists;
    platform::LibraryHandle (*loadLibrary)(const char* path) = platform::LoadLibraryFile;
    void* (*lookupSymbol)(platform::LibraryHandle library, const char* name) = platform::LookupSymbol;
};

// [main] The directory a value's text names: without trailing spaces, and without one pair of
// quotes around it (and the spaces inside them). Empty when the text names none.
std::string_view InstallDirectoryFromValue(std::string_view text);

// [main] Loads the effect library named by the registry and calls its "main" with
// VstCallBack::HostCallback. The value is looked for in the 64-bit view, then the 32-bit view;
// the first that is usable names the library: a readable value within the limit whose
// directory is absolute and holds VST64/<library file>, by a path within the system's limit.
// Returns the new effect with its `user` field cleared, or null when no view has a usable value
// or any later step fails (no library loaded, no "main", "main" throwing, or "main" returning
// null or a record without the VST 2 magic). Throws nothing: running out of memory on the way is
// one more failed step. The library is never unloaded.
vst2::AEffect* LoadVstPlugin();

// [main] The same, through the given services.
vst2::AEffect* LoadVstPluginWith(const VstLoaderOps& ops);
