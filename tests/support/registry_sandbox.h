// Gives a test a registry of its own: on Linux a private replacement file, on Windows (under
// Wine) the real registry, with the wrapped effect's key removed from both views before and
// after the test. On Linux the file's variable is put back as it was when the sandbox goes.
#pragma once

#include <string>

namespace testsupport {

constexpr const char* kEffectKey = "Software\\Brenlock\\VantreloDelay";

class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    // Stores "installdirectory" as a string value (with its terminator) in one view.
    void SetInstallDirectory(const std::string& directory, bool view32 = false);
    // Stores raw bytes, exactly as given, as "installdirectory".
    void SetInstallDirectoryBytes(const void* data, unsigned size, bool view32 = false);
    void Clear();

private:
    std::string file_;
    bool hadVariable_ = false;
    std::string previousVariable_;
};

// The folder that holds the test binaries (and the test libraries built beside them).
std::string BinaryDirectory();

}  // namespace testsupport
