// A plug-in module as the host sees it: its file (or bundle folder), its seven exports, and
// the description it gives at registration.
#pragma once

#include <memory>
#include <string>

#include "Description.h"
#include "HostComponents.h"

namespace aaxhost {

// The module's exports, with the signatures the host calls them by.
struct ModuleExports {
    ACFRESULT (*registerPlugin)(IACFUnknown* host, IACFPluginDefinition** outDefinition) = nullptr;
    ACFRESULT (*registerComponent)(IACFUnknown* host, const acfCLSID& componentID, void** outDefinition) = nullptr;
    ACFRESULT (*getClassFactory)(IACFUnknown* host, const acfCLSID& classID, const acfIID& iid,
                                 void** outFactory) = nullptr;
    ACFRESULT (*canUnloadNow)(IACFUnknown* host) = nullptr;
    ACFRESULT (*startup)(IACFUnknown* host) = nullptr;
    ACFRESULT (*shutdown)(IACFUnknown* host) = nullptr;
    ACFRESULT (*getSDKVersion)(acfUInt64* outVersion) = nullptr;
};

// The names of the seven exports, in the order of ModuleExports.
extern const char* const kModuleExportNames[7];

// The library file inside a module path, as an absolute path. A path that names a file is that
// file. A folder
// NAME.aaxplugin holds the library at Contents/x64/NAME.aaxplugin, or at Contents/x64/NAME
// with the platform's library suffix, or directly inside as NAME.aaxplugin or NAME plus the
// suffix; the first that exists is used. Returns "" with a reason when none is found.
std::string ResolveModuleLibrary(const std::string& path, std::string* error);

class PluginModule {
public:
    // [main] Loads the module's library and looks up every export. Null with a one-line reason
    // when the file cannot be loaded or an export is missing.
    static std::unique_ptr<PluginModule> Load(const std::string& path, std::string* error);
    // [main] A module given as a table of functions (tests, in-process fakes). Null with a
    // reason when an entry is missing.
    static std::unique_ptr<PluginModule> FromExports(const ModuleExports& exports, const std::string& name,
                                                     std::string* error);
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    // [main] ACFStartup with the host's IACFUnknown. Returns its result.
    ACFRESULT Startup();
    // [main] ACFRegisterPlugin, then records the description from the definition it hands back.
    // Returns its result; a missing definition on success counts as AAX_ERROR_NULL_OBJECT.
    ACFRESULT Register();
    // [main] ACFShutdown (once; also run by the destructor after a Startup).
    ACFRESULT Shutdown();
    // [main]
    ACFRESULT CanUnloadNow();
    ACFRESULT GetSDKVersion(acfUInt64* version);
    ACFRESULT GetClassFactory(const acfCLSID& classID, const acfIID& iid, void** outFactory);
    ACFRESULT RegisterComponent(const acfCLSID& componentID, void** outDefinition);

    // [main] Startup and Register in one step, with a reason when either fails.
    bool StartAndRegister(std::string* error);

    const CollectionDescription& Description() const { return description_; }
    // The first effect, or null before a successful registration.
    const EffectDescription* Effect() const;
    HostComponentFactory& Factory() { return *factory_; }
    const std::string& Name() const { return name_; }
    bool Registered() const { return registered_; }
    // Description objects the module did not release after registration.
    const std::vector<std::string>& HeldAfterRegistration() const { return heldAfterRegistration_; }

private:
    PluginModule(const ModuleExports& exports, std::string name);

    ModuleExports exports_;
    std::string name_;
    std::unique_ptr<HostComponentFactory> factory_;
    CollectionDescription description_;
    std::vector<std::string> heldAfterRegistration_;
    bool started_ = false;
    bool registered_ = false;
};

}  // namespace aaxhost
