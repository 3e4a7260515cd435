#include "support/FakeHost.h"

namespace testsupport {

AAX_Result RecordingPackets::Post(AAX_CFieldIndex field, const void* payload, uint32_t size) {
    PostedPacket packet{field, {}};
    if (payload != nullptr && size > 0) {
        const auto* bytes = static_cast<const uint8_t*>(payload);
        packet.payload.assign(bytes, bytes + size);
    }
    std::lock_guard<std::mutex> lock(mMutex);
    mPosts.push_back(std::move(packet));
    return result;
}

std::vector<PostedPacket> RecordingPackets::Posts() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mPosts;
}

void RecordingPackets::ClearPosts() {
    std::lock_guard<std::mutex> lock(mMutex);
    mPosts.clear();
}

FakeHost::FakeHost() { settings.sampleRate = 48000.0; }

bool FakeHost::AllReferencesReleased() const {
    for (const aaxhost::RefCount* count : {&controller.References(), &automation.References(),
                                           &transport.References(), &unknown.References()}) {
        if (count->Count() != 0 || count->Underflows() != 0) return false;
    }
    return true;
}

}  // namespace testsupport
