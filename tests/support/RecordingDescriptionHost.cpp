#include "support/RecordingDescriptionHost.h"

namespace testsupport {

RecordingDescriptionHost::RecordingDescriptionHost(const Options& options) : addEffectResult_(options.addEffectResult) {
    offers.factory = options.offerFactory;
    offers.collection = options.offerCollection;
    offers.effectDescriptor = options.offerEffectDescriptor;
    offers.componentDescriptor = options.offerComponentDescriptor;
    offers.propertyMap = options.offerPropertyMap;
    offers.version2 = options.offerVersion2;
    offers.pluginDefinition = options.offerPluginDefinition;
    offers.hostServices = options.offerHostServices;
    observer = [this](const std::string& call) { log.push_back(call); };
}

std::vector<std::string> RecordingDescriptionHost::CallsOn(const std::string& object) const {
    std::vector<std::string> calls;
    const std::string prefix = object + ".";
    for (const std::string& entry : log) {
        if (entry.rfind(prefix, 0) == 0) calls.push_back(entry.substr(prefix.size()));
    }
    return calls;
}

aaxhost::CollectionDescription RecordingDescriptionHost::Registered() const {
    const std::vector<const aaxhost::FactoryOwned*> collections = ObjectsOfKind("collection");
    if (collections.empty()) return {};
    return dynamic_cast<const aaxhost::HostCollection&>(*collections.front()).Snapshot();
}

AAX_Result RecordingDescriptionHost::AcceptEffect(const char*) { return addEffectResult_; }

}  // namespace testsupport
