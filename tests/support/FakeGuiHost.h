// What a GUI sees of its host: a FakeHost's controller and transport, plus the instance's data
// model behind the effect-parameters identifier.
#pragma once

#include "support/FakeHost.h"

namespace testsupport {

// The host's IACFUnknown as GUI Initialize receives it. The data model (if set) answers the
// effect-parameters identifier through its own QueryInterface.
class FakeGuiHost final : public aaxhost::HostUnknown {
public:
    FakeGuiHost() {
        Offer(&host.controller, &host.automation, &host.transport);
        HostUnknown::dataModel = [this]() { return dataModel; };
    }

    FakeHost host;
    IACFUnknown* dataModel = nullptr;  // not owned
    bool& offerDataModel = offers.dataModel;

    int32_t RefCount() const { return References().Count(); }
};

}  // namespace testsupport
