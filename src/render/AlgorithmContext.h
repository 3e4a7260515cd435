// The algorithm context record that the host fills before every processing call: eleven
// pointer-sized fields addressed by field index. The effect description declares each field with
// the host under these indices; the data model fills the packet fields.
#pragma once

#include "interfaces/acf.h"

enum AlgorithmField : AAX_CFieldIndex {
    kField_AudioIn = 0,          // float* const*: the input channel pointers (host)
    kField_InputChannels = 1,    // const int32_t*: input channel count (packet, 4 bytes)
    kField_AudioOut = 2,         // float* const*: the output channel pointers (host)
    kField_OutputChannels = 3,   // const int32_t*: output channel count (packet, 4 bytes)
    kField_SideChainIn = 4,      // declared only; never read
    kField_BufferLength = 5,     // const int32_t*: frames in this buffer (host)
    kField_MasterBypass = 6,     // the master bypass packet (4 bytes); not read by the callback
    kField_VstInterface = 7,     // VstInterface* const*: the instance's VST object (packet, 8 bytes)
    kField_Loaded = 8,           // const int32_t*: 1 when the effect loaded, else 0 (packet, 4 bytes)
    kField_TransportNode = 9,    // AAX_IMIDINode*: the transport node, read for its transport
    kField_MidiInputNode = 10,   // AAX_IMIDINode*: the local MIDI input node
    kField_Count = 11
};

struct AlgorithmContext {
    void* fields[kField_Count];
};
static_assert(sizeof(AlgorithmContext) == kField_Count * sizeof(void*));
