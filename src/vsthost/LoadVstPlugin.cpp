#include "vsthost/LoadVstPlugin.h"

#include <atomic>
#include <cstring>
#include <string_view>

#include "vsthost/VstCallBack.h"
#include "vsthost/VstInterface.h"

namespace {

// What step 4 appends after the directory: a separator (unless the directory ends in one), the
// library folder, a separator and the library's file name.
constexpr size_t kAppendedLength = std::string_view(platform::kPathSeparatorText).size() * 2 +
                                   std::string_view(kVstLibraryFolder).size() +
                                   std::string_view(platform::kEffectLibraryFileName).size();
// The longest directory, everything appended and the terminator.
constexpr size_t kPathBufferSize = (kVstInstallValueLimit - 1) + kAppendedLength + 1;

class PathBuffer {
public:
    // Appends text if it fits with the terminator; false (and the buffer unchanged) otherwise.
    bool Append(std::string_view text) {
        if (text.size() >= sizeof(data_) - length_) return false;
        std::memcpy(data_ + length_, text.data(), text.size());
        length_ += text.size();
        data_[length_] = '\0';
        return true;
    }
    size_t Length() const { return length_; }
    char Last() const { return length_ > 0 ? data_[length_ - 1] : '\0'; }
    const char* Text() const { return data_; }

private:
    char data_[kPathBufferSize] = {};
    size_t length_ = 0;
};

// Closes the key on every path out of the read.
class KeyCloser {
public:
    KeyCloser(const VstLoaderOps& ops, platform::RegistryKey key) : ops_(ops), key_(key) {}
    ~KeyCloser() { ops_.closeKey(key_); }
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;

private:
    const VstLoaderOps& ops_;
    platform::RegistryKey key_;
};

bool OpenInstallKey(const VstLoaderOps& ops, platform::RegistryKey* key) {
    // The 64-bit view is tried twice before the 32-bit view.
    for (uint32_t access : {kVstKeyAccess64, kVstKeyAccess64, kVstKeyAccess32}) {
        *key = nullptr;
        if (ops.openKey(platform::RootKey::LocalMachine, kVstInstallKey, access, key) ==
            platform::kRegistrySuccess) {
            return true;
        }
    }
    return false;
}

// Reads the installation directory into path. The value's type is ignored; its bytes up to the
// first zero (or all of them when there is none) are the directory. A value that needs more
// than the limit, or whose text leaves no room for a terminator within it, is refused.
bool ReadInstallDirectory(const VstLoaderOps& ops, PathBuffer* path) {
    platform::RegistryKey key = nullptr;
    if (!OpenInstallKey(ops, &key)) return false;
    KeyCloser closer(ops, key);

    uint8_t value[kVstInstallValueLimit] = {};
    uint32_t size = kVstInstallValueLimit;
    if (ops.queryValue(key, kVstInstallValue, value, &size) != platform::kRegistrySuccess) return false;
    if (size > kVstInstallValueLimit) return false;
    const void* terminator = std::memchr(value, 0, size);
    const size_t length = terminator != nullptr
                              ? static_cast<size_t>(static_cast<const uint8_t*>(terminator) - value)
                              : size;
    if (length >= kVstInstallValueLimit) return false;
    return path->Append(std::string_view(reinterpret_cast<const char*>(value), length));
}

bool AppendLibraryPath(PathBuffer* path) {
    if (path->Length() == 0 || path->Last() != platform::kPathSeparator) {
        if (!path->Append(platform::kPathSeparatorText)) return false;
    }
    return path->Append(kVstLibraryFolder) && path->Append(platform::kPathSeparatorText) &&
           path->Append(platform::kEffectLibraryFileName);
}

}  // namespace

vst2::AEffect* LoadVstPluginWith(const VstLoaderOps& ops) {
    PathBuffer path;
    if (!ReadInstallDirectory(ops, &path)) return nullptr;
    if (!AppendLibraryPath(&path)) return nullptr;

    // Never unloaded: every instance adds a load reference and the library stays in the process.
    platform::LibraryHandle library = ops.loadLibrary(path.Text());
    if (library == nullptr) return nullptr;
    auto entry = reinterpret_cast<vst2::MainProc>(ops.lookupSymbol(library, "main"));
    if (entry == nullptr) return nullptr;

    vst2::AEffect* effect = nullptr;
    {
        const VstCallBack::EntryPointCall running;
        // An entry point that throws gave no effect; what it may have left running is not ours.
        effect = VstInterface::CatchEffect(nullptr, "main", effect, [&] { return entry(&VstCallBack::HostCallback); });
    }
    // Anything but an effect record is not touched, not even closed.
    if (effect == nullptr || effect->magic != vst2::kEffectMagic) return nullptr;
    // Callbacks that arrive before the caller installs its VstCallBack get the neutral answers.
    // A thread the effect started may already be calling, and reading the field: it is written
    // whole.
    std::atomic_ref<void*>(effect->user).store(nullptr, std::memory_order_release);
    return effect;
}

vst2::AEffect* LoadVstPlugin() { return LoadVstPluginWith(VstLoaderOps{}); }
