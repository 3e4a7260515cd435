#include "support/TestEffectInstall.h"

#include <chrono>
#include <deque>
#include <filesystem>
#include <random>
#include <system_error>

#include "platform/platform.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;

// Paths as the platform layer takes them: UTF-8 on every system.
std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Serving state shared with the hook, which has no context argument.
std::deque<RecordingEffect*> servedEffects;
int mainCalls = 0;
vst2::AudioMasterCallback lastHostCallback = nullptr;

vst2::AEffect* ServeNextEffect(vst2::AudioMasterCallback hostCallback) {
    ++mainCalls;
    lastHostCallback = hostCallback;
    if (servedEffects.empty()) return nullptr;
    RecordingEffect* effect = servedEffects.front();
    servedEffects.pop_front();
    return effect->AttachHost(hostCallback);
}

// One installed copy per process: a loaded library cannot be replaced, and every later load by
// the same path shares the copy (and its hook). Removed when the process ends, where possible.
class InstalledCopy {
public:
    static InstalledCopy& Get() {
        static InstalledCopy copy;
        return copy;
    }
    bool ok = false;
    std::string error;
    std::string directory;
    std::string libraryPath;
    void (*setHook)(MainHook) = nullptr;
    fs::path root;

    ~InstalledCopy() {
        std::error_code ignored;
        if (!root.empty()) fs::remove_all(root, ignored);
    }

private:
    InstalledCopy() {
        std::error_code failure;
        const fs::path built = TestEffectInstall::BuiltLibraryPath();
        if (!fs::exists(built, failure)) {
            error = "test library not built: " + built.string();
            return;
        }
        const fs::path temporary = fs::temp_directory_path(failure);
        if (failure) {
            error = "no temporary directory";
            return;
        }
        // A folder no other test process uses: a library loaded elsewhere cannot be overwritten.
        // Its name is outside every single-byte code page, as users' folder names may be.
        std::random_device random;
        const auto clock = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
        for (int attempt = 0; attempt < 100 && root.empty(); ++attempt) {
            const fs::path candidate =
                temporary / fs::path(u8"aaxw-test-effect-Łódź-") += std::to_string(clock) + "-" +
                                                                        std::to_string(random()) + "-" +
                                                                        std::to_string(attempt);
            if (fs::create_directory(candidate, failure)) root = candidate;
        }
        if (root.empty()) {
            error = "cannot create a folder in " + temporary.string();
            return;
        }
        const fs::path folder = root / "VST64";
        fs::create_directories(folder, failure);
        if (failure) {
            error = "cannot create " + Utf8(folder);
            return;
        }
        directory = Utf8(root);
        const fs::path target = folder / platform::kEffectLibraryFileName;
        fs::copy_file(built, target, fs::copy_options::overwrite_existing, failure);
        if (failure) {
            error = "cannot copy the test library to " + Utf8(target);
            return;
        }
        libraryPath = Utf8(target);
        platform::LibraryHandle library = platform::LoadLibraryFile(libraryPath.c_str());
        if (library == nullptr) {
            error = std::string("cannot load the test library: ") + platform::LastLoadError();
            return;
        }
        setHook = reinterpret_cast<void (*)(MainHook)>(platform::LookupSymbol(library, "TestEffect_SetMainHook"));
        if (setHook == nullptr) {
            error = "the test library lacks TestEffect_SetMainHook";
            return;
        }
        ok = true;
    }
};

}  // namespace

TestEffectInstall::TestEffectInstall() : registry_(std::make_unique<RegistrySandbox>()) {
    InstalledCopy& copy = InstalledCopy::Get();
    ok_ = copy.ok;
    error_ = copy.error;
    directory_ = copy.directory;
    libraryPath_ = copy.libraryPath;
    setHook_ = copy.setHook;
    servedEffects.clear();
    mainCalls = 0;
    lastHostCallback = nullptr;
    if (!ok_) return;
    registry_->SetInstallDirectory(directory_);
    setHook_(&ServeNextEffect);
}

TestEffectInstall::~TestEffectInstall() {
    if (setHook_ != nullptr) setHook_(nullptr);
    servedEffects.clear();
}

void TestEffectInstall::Serve(RecordingEffect* effect) { servedEffects.push_back(effect); }

int TestEffectInstall::MainCalls() const { return mainCalls; }

vst2::AudioMasterCallback TestEffectInstall::LastHostCallback() const { return lastHostCallback; }

void TestEffectInstall::SetMainHook(MainHook hook) {
    if (setHook_ != nullptr) setHook_(hook);
}

std::string TestEffectInstall::BuiltLibraryPath() {
    return (fs::path(BinaryDirectory()) / (std::string("TestVstEffect") + platform::kSharedLibrarySuffix)).string();
}

}  // namespace testsupport
