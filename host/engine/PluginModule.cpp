#include "PluginModule.h"

#include <filesystem>
#include <system_error>

#include "FileAccess.h"
#include "platform/platform.h"

namespace aaxhost {

const char* const kModuleExportNames[7] = {"ACFRegisterPlugin", "ACFRegisterComponent", "ACFGetClassFactory",
                                           "ACFCanUnloadNow",   "ACFStartup",           "ACFShutdown",
                                           "ACFGetSDKVersion"};

namespace {

template <class Function>
void Resolve(platform::LibraryHandle library, const char* name, Function* out) {
    *out = reinterpret_cast<Function>(platform::LookupSymbol(library, name));
}

}  // namespace

std::string ResolveModuleLibrary(const std::string& path, std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    // The loader searches the library path for a bare file name: resolve it here instead.
    fs::path given = fs::absolute(PathOf(path), ec);
    if (ec) given = PathOf(path);
    if (!fs::exists(given, ec)) {
        if (error) *error = "no such file: " + path;
        return "";
    }
    if (!fs::is_directory(given, ec)) return TextOf(given);
    fs::path folder = given;
    if (folder.filename().empty()) folder = folder.parent_path();
    const fs::path bundleName = folder.filename();
    const fs::path stem = folder.stem();
    const std::string suffix = platform::kSharedLibrarySuffix;
    const fs::path candidates[] = {
        folder / "Contents" / "x64" / bundleName,
        folder / "Contents" / "x64" / (fs::path(stem) += suffix),
        folder / bundleName,
        folder / (fs::path(stem) += suffix),
    };
    for (const fs::path& candidate : candidates) {
        if (fs::is_regular_file(candidate, ec)) return TextOf(candidate);
    }
    if (error) {
        *error = "no module library inside the bundle " + path + " (looked for Contents/x64/" + TextOf(bundleName) + ")";
    }
    return "";
}

std::unique_ptr<PluginModule> PluginModule::Load(const std::string& path, std::string* error) {
    const std::string library = ResolveModuleLibrary(path, error);
    if (library.empty()) return nullptr;
    platform::LibraryHandle handle = platform::LoadLibraryFile(library.c_str());
    if (handle == nullptr) {
        if (error) *error = "cannot load " + library + ": " + platform::LastLoadError();
        return nullptr;
    }
    ModuleExports exports;
    Resolve(handle, kModuleExportNames[0], &exports.registerPlugin);
    Resolve(handle, kModuleExportNames[1], &exports.registerComponent);
    Resolve(handle, kModuleExportNames[2], &exports.getClassFactory);
    Resolve(handle, kModuleExportNames[3], &exports.canUnloadNow);
    Resolve(handle, kModuleExportNames[4], &exports.startup);
    Resolve(handle, kModuleExportNames[5], &exports.shutdown);
    Resolve(handle, kModuleExportNames[6], &exports.getSDKVersion);
    return FromExports(exports, library, error);
}

std::unique_ptr<PluginModule> PluginModule::FromExports(const ModuleExports& exports, const std::string& name,
                                                        std::string* error) {
    const void* entries[7] = {reinterpret_cast<const void*>(exports.registerPlugin),
                              reinterpret_cast<const void*>(exports.registerComponent),
                              reinterpret_cast<const void*>(exports.getClassFactory),
                              reinterpret_cast<const void*>(exports.canUnloadNow),
                              reinterpret_cast<const void*>(exports.startup),
                              reinterpret_cast<const void*>(exports.shutdown),
                              reinterpret_cast<const void*>(exports.getSDKVersion)};
    for (int i = 0; i < 7; ++i) {
        if (entries[i] == nullptr) {
            if (error) *error = name + " is not a module: it lacks the export " + kModuleExportNames[i];
            return nullptr;
        }
    }
    return std::unique_ptr<PluginModule>(new PluginModule(exports, name));
}

PluginModule::PluginModule(const ModuleExports& exports, std::string name)
    : exports_(exports), name_(std::move(name)), factory_(std::make_unique<HostComponentFactory>()) {}

PluginModule::~PluginModule() {
    if (started_) Shutdown();
}

ACFRESULT PluginModule::Startup() {
    started_ = true;
    return exports_.startup(factory_.get());
}

ACFRESULT PluginModule::Register() {
    IACFPluginDefinition* definition = nullptr;
    const ACFRESULT result = exports_.registerPlugin(factory_.get(), &definition);
    heldAfterRegistration_ = factory_->HeldObjects(factory_->ObjectsOfKind("host services"));
    if (definition == nullptr) {
        description_ = {};
        description_.problems = factory_->Problems();
        return result != ACF_OK ? result : AAX_ERROR_NULL_OBJECT;
    }
    HostPluginDefinition* ours = factory_->Find<HostPluginDefinition>(definition);
    if (ours != nullptr) {
        description_ = ours->Collection().Snapshot();
    } else {
        factory_->AddProblem("ACFRegisterPlugin handed back an object that is not the host's definition");
    }
    // The definition's own reference is the host's, and host services live until ACFShutdown;
    // every other object should be free now.
    std::vector<const FactoryOwned*> keep = factory_->ObjectsOfKind("host services");
    if (ours != nullptr) keep.push_back(ours);
    heldAfterRegistration_ = factory_->HeldObjects(keep);
    definition->Release();
    registered_ = result == ACF_OK && ours != nullptr;
    if (result == ACF_OK && ours == nullptr) return AAX_ERROR_NULL_OBJECT;
    return result;
}

ACFRESULT PluginModule::Shutdown() {
    if (!started_) return ACF_OK;
    started_ = false;
    return exports_.shutdown(factory_.get());
}

ACFRESULT PluginModule::CanUnloadNow() { return exports_.canUnloadNow(factory_.get()); }
ACFRESULT PluginModule::GetSDKVersion(acfUInt64* version) { return exports_.getSDKVersion(version); }
ACFRESULT PluginModule::GetClassFactory(const acfCLSID& classID, const acfIID& iid, void** outFactory) {
    return exports_.getClassFactory(factory_.get(), classID, iid, outFactory);
}
ACFRESULT PluginModule::RegisterComponent(const acfCLSID& componentID, void** outDefinition) {
    return exports_.registerComponent(factory_.get(), componentID, outDefinition);
}

bool PluginModule::StartAndRegister(std::string* error) {
    const ACFRESULT started = Startup();
    if (started != ACF_OK) {
        if (error) *error = "ACFStartup failed with " + std::to_string(started);
        return false;
    }
    const ACFRESULT registered = Register();
    if (registered != ACF_OK) {
        if (error) *error = "ACFRegisterPlugin failed with " + std::to_string(registered);
        return false;
    }
    if (description_.effects.empty()) {
        if (error) *error = "the module registered no effect";
        return false;
    }
    return true;
}

const EffectDescription* PluginModule::Effect() const {
    return description_.effects.empty() ? nullptr : &description_.effects.front();
}

}  // namespace aaxhost
