// The module's seven exported entry points, and the library entry routine on Windows.
// Exceptions stop here: every export that can throw answers ACF_E_UNEXPECTED instead.
#include <cstdint>
#include <memory>

#include "description/AAXWrapper_Description.h"
#include "effect/AAX_VHostWrappers.h"
#include "interfaces/acf.h"
#include "module/ModuleState.h"

namespace {

// The framework version this module was built against.
constexpr acfUInt64 kACFSDKVersion = 0x000002000061125CULL;

// Destroys the host services, clearing the pointer first. The host's reference is given back
// outside the destructor, so that an exception from the host reaches the export's handler.
void DestroyHostServices(AAX_VHostServices*& services) {
    std::unique_ptr<AAX_VHostServices> doomed(services);
    services = nullptr;
    doomed->ReleaseHost();
}

}  // namespace

extern "C" {

// [main] Describes the effect to the host.
ACFRESULT ACFRegisterPlugin(IACFUnknown* host, IACFPluginDefinition** outDefinition) {
    try {
        return AAXWrapper_RegisterPlugin(host, outDefinition);
    } catch (...) {
        return ACF_E_UNEXPECTED;
    }
}

// [main] The module registers no components of its own this way.
ACFRESULT ACFRegisterComponent(IACFUnknown* /*host*/, const acfCLSID& /*componentID*/,
                               IACFUnknown** outComponentDefinition) {
    if (outComponentDefinition != nullptr) *outComponentDefinition = nullptr;
    return ACF_OK;
}

// [main] Components are created only through the factories given at registration.
ACFRESULT ACFGetClassFactory(IACFUnknown* /*host*/, const acfCLSID& /*classID*/, const acfIID& /*iid*/,
                             void** outFactory) {
    if (outFactory != nullptr) *outFactory = nullptr;
    return AAX_ERROR_UNIMPLEMENTED;
}

// [any] 0 when the module may be unloaded, otherwise the number of live component objects.
ACFRESULT ACFCanUnloadNow(IACFUnknown* /*host*/) { return ACFLiveObjectCount(); }

// [main] Creates the process-wide host services on the first call with a host; a call with no
// host destroys them. A later call with a host keeps the existing object.
ACFRESULT ACFStartup(IACFUnknown* host) {
    try {
        AAX_VHostServices*& services = ModuleHostServices();
        if (services == nullptr && host != nullptr) {
            services = new AAX_VHostServices(host);
        } else if (services != nullptr && host == nullptr) {
            DestroyHostServices(services);
        }
        return ACF_OK;
    } catch (...) {
        return ACF_E_UNEXPECTED;
    }
}

// [main] Destroys the host services, if any.
ACFRESULT ACFShutdown(IACFUnknown* /*host*/) {
    try {
        AAX_VHostServices*& services = ModuleHostServices();
        if (services != nullptr) DestroyHostServices(services);
        return ACF_OK;
    } catch (...) {
        return ACF_E_UNEXPECTED;
    }
}

// [any] Writes the framework version. A null output has nowhere to receive it.
ACFRESULT ACFGetSDKVersion(acfUInt64* outVersion) {
    if (outVersion == nullptr) return AAX_ERROR_NULL_OBJECT;
    *outVersion = kACFSDKVersion;
    return ACF_OK;
}

}  // extern "C"

#if defined(_WIN32)
// The one Win32 function the entry routine needs, declared with its exact signature, so that no
// operating-system header is included outside the platform layer.
extern "C" __declspec(dllimport) int __stdcall DisableThreadLibraryCalls(void* module);

namespace {
constexpr unsigned long kDllProcessAttach = 1;  // DLL_PROCESS_ATTACH
}

// [main] Turns off per-thread attach and detach notifications; succeeds for every reason.
extern "C" int __stdcall DllMain(void* instance, unsigned long reason, void* /*reserved*/) {
    if (reason == kDllProcessAttach) DisableThreadLibraryCalls(instance);
    return 1;
}
#endif
