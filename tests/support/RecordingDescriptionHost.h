// The host's own description components (host/engine/HostComponents) as a registration test
// drives them: every call made on them is kept in order in a log, and a test scripts what
// the host offers and whether it accepts the effect.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "HostComponents.h"

namespace testsupport {

class RecordingDescriptionHost final : public aaxhost::HostComponentFactory {
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

    RecordingDescriptionHost() : RecordingDescriptionHost(Options()) {}
    explicit RecordingDescriptionHost(const Options& options);

    // Every call on a component, in order, as the factory's observer reports it
    // ("component1.AddDataInPort(1,4,1)").
    std::vector<std::string> log;
    // The log entries of one object, without the object's name.
    std::vector<std::string> CallsOn(const std::string& object) const;

    // What the first collection holds: the effects it accepted, manufacturer and packages.
    aaxhost::CollectionDescription Registered() const;

    // Components of this host that someone still holds a reference to.
    int32_t LiveComponents() const { return static_cast<int32_t>(HeldObjects().size()); }
    // References others hold on the host itself.
    int32_t HostReferences() const { return References().Count(); }

    AAX_Result AcceptEffect(const char* effectID) override;

private:
    AAX_Result addEffectResult_;
};

}  // namespace testsupport
