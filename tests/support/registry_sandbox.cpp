#include "support/registry_sandbox.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#if defined(_WIN32)
#include <direct.h>
#else
#include <unistd.h>
#endif

#include "platform/platform.h"
#include "platform/registry_writer.h"

namespace testsupport {
namespace {

#if !defined(_WIN32)
void SetVariable(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }
#endif

}  // namespace

RegistrySandbox::RegistrySandbox() {
#if !defined(_WIN32)
    if (const char* previous = std::getenv(platform::kRegistryFileVariable)) {
        hadVariable_ = true;
        previousVariable_ = previous;
    }
    char pattern[] = "/tmp/aaxw-registry-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) throw std::runtime_error("cannot create a registry file");
    std::fclose(fdopen(fd, "w"));
    file_ = pattern;
    SetVariable(platform::kRegistryFileVariable, file_);
#endif
    Clear();
}

RegistrySandbox::~RegistrySandbox() {
    Clear();
    if (!file_.empty()) {
        std::remove(file_.c_str());
        std::remove((file_ + ".tmp").c_str());
    }
#if !defined(_WIN32)
    if (hadVariable_) {
        SetVariable(platform::kRegistryFileVariable, previousVariable_);
    } else {
        unsetenv(platform::kRegistryFileVariable);
    }
#endif
}

void RegistrySandbox::Clear() {
    platform::RegistryDeleteKey(platform::RootKey::LocalMachine, kEffectKey, platform::kKeyWow64_64Key);
    platform::RegistryDeleteKey(platform::RootKey::LocalMachine, kEffectKey, platform::kKeyWow64_32Key);
}

void RegistrySandbox::SetInstallDirectory(const std::string& directory, bool view32, uint32_t type, bool terminated) {
    const int32_t result = platform::RegistryWriteText(
        platform::RootKey::LocalMachine, kEffectKey, view32 ? platform::kKeyWow64_32Key : platform::kKeyWow64_64Key,
        "installdirectory", type, directory.c_str(), static_cast<uint32_t>(directory.size() + (terminated ? 1 : 0)));
    if (result != 0) throw std::runtime_error("cannot write the registry value");
}

std::string BinaryDirectory() {
#if defined(_WIN32)
    char path[1024];
    // The test runs with its working directory set to the binary folder by ctest.
    if (const char* dir = std::getenv("AAXW_BINARY_DIR")) return dir;
    return std::string(_getcwd(path, sizeof path) ? path : ".");
#else
    if (const char* dir = std::getenv("AAXW_BINARY_DIR")) return dir;
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    std::string exe(path, static_cast<size_t>(length));
    return exe.substr(0, exe.find_last_of('/'));
#endif
}

}  // namespace testsupport
