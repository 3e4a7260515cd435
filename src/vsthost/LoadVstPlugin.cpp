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

bool AppendLibraryPath(PathBuffer* path) {
    if (path->Length() == 0 || !platform::IsPathSeparator(path->Last())) {
        if (!path->Append(platform::kPathSeparatorText)) return false;
    }
    return path->Append(kVstLibraryFolder) && path->Append(platform::kPathSeparatorText) &&
           path->Append(platform::kEffectLibraryFileName);
}

// The library path that the open key's value names, when the value is usable: readable within
// the limit, naming an absolute directory that holds the library. Closes the key.
bool ReadLibraryPath(const VstLoaderOps& ops, platform::RegistryKey key, PathBuffer* path) {
    char value[kVstInstallValueLimit] = {};
    uint32_t size = sizeof value;
    {
        KeyCloser closer(ops, key);
        if (ops.queryText(key, kVstInstallValue, value, &size, nullptr) != platform::kRegistrySuccess) return false;
    }
    if (size >= sizeof value) return false;
    const std::string_view directory = InstallDirectoryFromValue(std::string_view(value, size));
    if (!platform::IsAbsolutePath(directory)) return false;
    *path = PathBuffer();
    return path->Append(directory) && AppendLibraryPath(path) && ops.fileExists(path->Text());
}

// The 64-bit view first (opened a second time when the first open fails), then the 32-bit view
// when the 64-bit one has no usable value.
bool FindLibraryPath(const VstLoaderOps& ops, PathBuffer* path) {
    bool opened64 = false;
    for (uint32_t access : {kVstKeyAccess64, kVstKeyAccess64, kVstKeyAccess32}) {
        if (access == kVstKeyAccess64 && opened64) continue;
        platform::RegistryKey key = nullptr;
        if (ops.openKey(platform::RootKey::LocalMachine, kVstInstallKey, access, &key) != platform::kRegistrySuccess) {
            continue;
        }
        opened64 = access == kVstKeyAccess64;
        if (ReadLibraryPath(ops, key, path)) return true;
    }
    return false;
}

}  // namespace

std::string_view InstallDirectoryFromValue(std::string_view text) {
    const auto trimTrailingSpaces = [](std::string_view view) {
        while (!view.empty() && view.back() == ' ') view.remove_suffix(1);
        return view;
    };
    text = trimTrailingSpaces(text);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = trimTrailingSpaces(text.substr(1, text.size() - 2));
    }
    return text;
}

vst2::AEffect* LoadVstPluginWith(const VstLoaderOps& ops) {
    PathBuffer path;
    if (!FindLibraryPath(ops, &path)) return nullptr;

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
