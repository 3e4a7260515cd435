// Writing the machine-wide registry: for aaxhost, installers' tools and tests. The module only
// reads the registry and does not link this part (its import table names no function that
// writes), so that nothing a host loads can change the machine's settings.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace platform {

// [main] Creates root\subKey in the view named by viewFlag (kKeyWow64_64Key or
// kKeyWow64_32Key) if needed, and stores the bytes exactly as given as a value of the type
// (what RegistryQueryValue read comes back unchanged).
int32_t RegistryWriteValue(RootKey root, const char* subKey, uint32_t viewFlag, const char* valueName, uint32_t type,
                           const void* data, uint32_t size) noexcept;
// [main] The same for a string type: size bytes of UTF-8 text, stored in the system's string
// form (UTF-16 on Windows). A terminator is stored only when size includes one.
int32_t RegistryWriteText(RootKey root, const char* subKey, uint32_t viewFlag, const char* valueName, uint32_t type,
                          const char* text, uint32_t size) noexcept;
// [main] Removes root\subKey (and its values) from one view. Missing keys are not an error.
int32_t RegistryDeleteKey(RootKey root, const char* subKey, uint32_t viewFlag) noexcept;
// [main] Removes one value of root\subKey in one view, leaving the key and its other values.
// A missing key or value is not an error.
int32_t RegistryDeleteValue(RootKey root, const char* subKey, uint32_t viewFlag, const char* valueName) noexcept;

}  // namespace platform
