#include "support/FakeMidiNode.h"

FakeMidiNode::FakeMidiNode(AAX_ITransport* transport) : mTransport(transport) {}

bool FakeMidiNode::AddPacket(uint32_t timestamp, uint8_t status, uint8_t data1, uint8_t data2, uint32_t length,
                             bool immediate) {
    if (mStream.mBufferSize >= kCapacity) return false;
    AAX_CMidiPacket& packet = mPackets[mStream.mBufferSize++];
    packet.mTimestamp = timestamp;
    packet.mLength = length;
    packet.mData[0] = status;
    packet.mData[1] = data1;
    packet.mData[2] = data2;
    packet.mData[3] = 0;
    packet.mIsImmediate = immediate;
    return true;
}

void FakeMidiNode::ClearPackets() { mStream.mBufferSize = 0; }

AAX_CMidiStream* FakeMidiNode::GetNodeBuffer() {
    ++nodeBufferQueries;
    return mStreamMissing ? nullptr : &mStream;
}

AAX_Result FakeMidiNode::PostMIDIPacket(AAX_CMidiPacket*) { return AAX_ERROR_UNIMPLEMENTED; }

AAX_ITransport* FakeMidiNode::GetTransport() {
    ++transportQueries;
    return mTransport;
}
