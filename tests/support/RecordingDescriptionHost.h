// A host for the registration path: it answers the component factory, creates recording
// description components (collection, effect descriptor, component descriptor, property map,
// plug-in definition, host services), logs every call made on them in order, and keeps what a
// real host would keep of the description once registration returns. Tests script refusals.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "interfaces/aax_description.h"
#include "interfaces/aax_host.h"

namespace testsupport {

struct RecordedProcessProc {
    AAX_CProcessProc proc = nullptr;
    bool propertiesGiven = false;
    std::map<AAX_EProperty, AAX_CPropertyValue> properties;  // the map's content at registration
    bool instanceInitGiven = false;
    bool backgroundGiven = false;
    bool procIdOutGiven = false;
};

// What a component descriptor held when the effect descriptor took it with AddComponent.
struct RecordedComponent {
    std::vector<std::string> declarations;  // "AddAudioIn(0)", "AddDataInPort(1,4,1)", ...
    std::vector<RecordedProcessProc> processProcs;
};

struct RecordedEffect {
    std::string identifier;
    std::vector<std::string> names;
    std::vector<uint32_t> categories;
    std::vector<RecordedComponent> components;
    std::vector<std::pair<AAX_CProcPtrID, void*>> procPtrs;
    std::vector<std::pair<int32_t, std::string>> resources;

    // The first proc pointer registered under the identifier, or null.
    void* ProcPtr(AAX_CProcPtrID id) const;
};

class RecordingDescriptionHost : public IACFComponentFactory {
public:
    struct Options {
        bool offerFactory = true;
        bool offerCollection = true;
        bool offerEffectDescriptor = true;
        bool offerComponentDescriptor = true;
        bool offerPropertyMap = true;
        bool offerVersion2 = true;  // the version-2 effect, component and property-map interfaces
        bool offerPluginDefinition = true;
        bool offerHostServices = true;
        AAX_Result addEffectResult = AAX_SUCCESS;
    };

    RecordingDescriptionHost() = default;
    explicit RecordingDescriptionHost(const Options& options) : options(options) {}
    virtual ~RecordingDescriptionHost() = default;
    RecordingDescriptionHost(const RecordingDescriptionHost&) = delete;
    RecordingDescriptionHost& operator=(const RecordingDescriptionHost&) = delete;

    ACFRESULT QueryInterface(const acfIID& iid, void** outInterface) override;
    acfUInt32 AddRef() override;
    acfUInt32 Release() override;
    ACFRESULT CreateComponent(const acfCLSID& clsid, IACFUnknown* outer, const acfIID& iid,
                              void** outInterface) override;

    Options options;

    // Every call on a component, in order: "<object>.<Operation>(<arguments>)" where objects are
    // named by kind and creation order (collection1, effect1, component1, map1, ...), texts are
    // quoted, a property map argument is its name or null, a proc pointer "proc" or null.
    std::vector<std::string> log;
    // The log entries of one object, without the object's name.
    std::vector<std::string> CallsOn(const std::string& object) const;

    // What the host keeps of the registration.
    std::string manufacturerName;
    std::vector<std::string> packageNames;
    std::vector<uint32_t> packageVersions;
    std::vector<RecordedEffect> effects;

    // Components of this host that are still alive.
    int32_t LiveComponents() const { return liveComponents_; }
    // References others hold on the host itself.
    int32_t HostReferences() const { return hostReferences_; }

    // Used by the components.
    std::string NameNew(const std::string& kind);
    void ComponentCreated() { ++liveComponents_; }
    void ComponentDestroyed() { --liveComponents_; }

private:
    int32_t liveComponents_ = 0;
    int32_t hostReferences_ = 0;
    std::map<std::string, int> counters_;
};

}  // namespace testsupport
