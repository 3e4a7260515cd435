// A scriptable host MIDI node: a packet stream that a test fills and an optional transport.
// Packets are held in a fixed array so that reading the node allocates nothing.
#pragma once

#include <cstdint>

#include "interfaces/aax_host.h"

class FakeMidiNode : public AAX_IMIDINode {
public:
    static constexpr uint32_t kCapacity = 64;

    explicit FakeMidiNode(AAX_ITransport* transport = nullptr);
    FakeMidiNode(const FakeMidiNode&) = delete;  // the stream points into this object
    FakeMidiNode& operator=(const FakeMidiNode&) = delete;

    // [main] Appends a packet with the three data bytes; false when the node is full.
    bool AddPacket(uint32_t timestamp, uint8_t status, uint8_t data1, uint8_t data2, uint32_t length = 3,
                   bool immediate = false);
    // [main] The packet at index, for tests that set fields AddPacket does not.
    AAX_CMidiPacket& Packet(uint32_t index) { return mPackets[index]; }
    // [main] Empties the stream.
    void ClearPackets();
    void SetTransport(AAX_ITransport* transport) { mTransport = transport; }
    // When set, GetNodeBuffer answers null, as a host without a stream would.
    void SetStreamMissing(bool missing) { mStreamMissing = missing; }

    AAX_CMidiStream* GetNodeBuffer() override;
    AAX_Result PostMIDIPacket(AAX_CMidiPacket* packet) override;
    AAX_ITransport* GetTransport() override;

    int32_t nodeBufferQueries = 0;
    int32_t transportQueries = 0;

private:
    AAX_CMidiPacket mPackets[kCapacity] = {};
    AAX_CMidiStream mStream{0, mPackets};
    AAX_ITransport* mTransport;
    bool mStreamMissing = false;
};
