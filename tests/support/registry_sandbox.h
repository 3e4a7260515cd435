// Gives a test a registry of its own: on Linux a private replacement file, on Windows (under
// Wine) the real registry, with the wrapped effect's key removed from both views before and
// after the test. On Linux the file's variable is put back as it was when the sandbox goes.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace testsupport {

constexpr const char* kEffectKey = "Software\\Brenlock\\VantreloDelay";

class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    // Stores "installdirectory" (UTF-8) in one view as a string value of the type, with its
    // terminator unless terminated is false.
    void SetInstallDirectory(const std::string& directory, bool view32 = false,
                             uint32_t type = platform::kRegistryString, bool terminated = true);
    void Clear();

private:
    std::string file_;
    bool hadVariable_ = false;
    std::string previousVariable_;
};

// The folder that holds the test binaries (and the test libraries built beside them).
std::string BinaryDirectory();

}  // namespace testsupport
