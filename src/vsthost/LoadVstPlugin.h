// Finds the wrapped effect's library through the machine-wide registry, loads it and asks its
// entry point for a new effect instance.
#pragma once

#include <cstdint>

#include "interfaces/vst2.h"
#include "platform/platform.h"

// The registry key and value that name the installation directory.
constexpr const char* kVstInstallKey = "Software\\Brenlock\\VantreloDelay";
constexpr const char* kVstInstallValue = "installdirectory";
// The folder below the installation directory that holds the effect library.
constexpr const char* kVstLibraryFolder = "VST64";
// The value is read with this limit, terminator included; the directory text therefore holds at
// most kVstInstallValueLimit - 1 characters.
constexpr uint32_t kVstInstallValueLimit = 1000;
// Access masks of the three key opens, in the order they are tried: the 64-bit view twice, then
// the 32-bit view.
constexpr uint32_t kVstKeyAccess64 = platform::kKeyRead | platform::kKeyWow64_64Key;  // 0x20119
constexpr uint32_t kVstKeyAccess32 = platform::kKeyRead | platform::kKeyWow64_32Key;  // 0x20219

// The operating-system services the loader uses. The defaults are the platform layer's; tests
// substitute recording or failing versions.
struct VstLoaderOps {
    int32_t (*openKey)(platform::RootKey root, const char* subKey, uint32_t access,
                       platform::RegistryKey* outKey) = platform::RegistryOpenKey;
    int32_t (*queryValue)(platform::RegistryKey key, const char* valueName, uint8_t* data,
                          uint32_t* size) = platform::RegistryQueryValue;
    int32_t (*closeKey)(platform::RegistryKey key) = platform::RegistryCloseKey;
    platform::LibraryHandle (*loadLibrary)(const char* path) = platform::LoadLibraryFile;
    void* (*lookupSymbol)(platform::LibraryHandle library, const char* name) = platform::LookupSymbol;
};

// [main] Loads the effect library named by the registry and calls its "main" with
// VstCallBack::HostCallback. Returns the new effect with its `user` field cleared, or null when
// any step fails (no key in either view, no readable value, a directory too long for the path
// buffer, no library, no "main", "main" throwing, or "main" returning null or a record without
// the VST 2 magic). Throws nothing: running out of memory on the way is one more failed step.
// The library is never unloaded.
vst2::AEffect* LoadVstPlugin();

// [main] The same, through the given services.
vst2::AEffect* LoadVstPluginWith(const VstLoaderOps& ops);
