// The host as a data model or GUI sees it through its IACFUnknown, built from the host's own
// objects (host/engine/): its controller (version 1 and 2), automation delegate and transport
// (version 1 and 2), each a component with its own reference count. What stays here is what
// only tests need: the settings and transport answers a test scripts, a packet sink that keeps
// every post, and the offers a test withdraws. The host owns its components; reference counts
// are only recorded, so a test can check that every reference taken was given back.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "HostInstance.h"
#include "Transport.h"
#include "support/FakeTransport.h"

namespace testsupport {

struct PostedPacket {
    AAX_CFieldIndex fieldIndex;
    std::vector<uint8_t> payload;
};

// Every packet the module posts, in order, with a copy of its payload.
class RecordingPackets final : public aaxhost::PacketSink {
public:
    AAX_Result result = AAX_SUCCESS;  // what each post answers; the packet is kept regardless

    // [any]
    AAX_Result Post(AAX_CFieldIndex field, const void* payload, uint32_t size) override;
    std::vector<PostedPacket> Posts() const;
    void ClearPosts();

private:
    mutable std::mutex mMutex;
    std::vector<PostedPacket> mPosts;
};

using HostAutomationCall = aaxhost::HostAutomationDelegate::Event;

class FakeHost {
public:
    FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    aaxhost::InstanceSettings settings;  // the controller's sample rate and stem format
    RecordingPackets packets;
    FakeTransport transportAnswers;
    aaxhost::HostController controller{settings, "com.brenlock.vantrelo-delay", packets};
    aaxhost::HostAutomationDelegate automation;
    aaxhost::HostTransport transport{transportAnswers};
    aaxhost::HostUnknown unknown{&controller, &automation, &transport};
    aaxhost::HostUnknown::Offers& offers = unknown.offers;

    // The IACFUnknown to hand to Initialize.
    IACFUnknown* Unknown() { return &unknown; }
    // True when no component holds a reference that was taken and not given back, and none was
    // given back more often than taken.
    bool AllReferencesReleased() const;
};

}  // namespace testsupport
