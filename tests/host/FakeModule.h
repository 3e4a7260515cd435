// A tiny in-process plug-in module for the host's unit tests: it registers one effect with a
// mono and a stereo component through the host's factory, and its data model and GUI behave
// like a small real one. Processing multiplies the input by a gain the data model posts as a
// packet into context field 3.
#pragma once

#include <atomic>
#include <string>

#include "PluginModule.h"

namespace fakemodule {

// Context fields of the fake component.
enum : uint32_t {
    kFieldIn = 0,
    kFieldLength = 1,
    kFieldOut = 2,
    kFieldGain = 3,      // data-in port, 4 bytes: the gain as a float
    kFieldBlob = 4,      // data-in port, 8 bytes
    kFieldTransport = 5, // MIDI node, transport
    kFieldMidiIn = 6,    // MIDI node, local input
};

struct Behaviour {
    bool registerNothing = false;      // ACFRegisterPlugin describes no effect
    bool leakDescriptor = false;       // keeps one reference to its effect descriptor
    bool overrunChunk = false;         // GetChunk writes more than GetChunkSize reported
    bool leaveSecondOutput = false;    // stereo processing leaves output channel 1 as it was
};

// What the fake module saw, for the tests to inspect.
struct Observed {
    std::atomic<int32_t> liveObjects{0};
    std::atomic<int32_t> processCalls{0};
    std::atomic<int32_t> midiPacketsSeen{0};
    int64_t lastSampleLocation = 0;
    int32_t lastBars = 0;
    int32_t lastBeats = 0;
    int64_t lastTicks = 0;
    double lastTempo = 0.0;
    bool lastPlaying = false;
    uint32_t lastMidiTimestamp = 0;
    uint8_t lastMidiStatus = 0;
    int32_t lastFrames = 0;
    void* lastRecord[7] = {};
    int32_t guiGotDataModel = 0;
    int32_t viewType = -1;
    void* viewPointer = nullptr;
    int32_t idleCalls = 0;
    float lastGainUpdate = -1.0f;
};

Behaviour& Settings();
Observed& Seen();
void Reset();

// The seven exports, for PluginModule::FromExports.
aaxhost::ModuleExports Exports();

}  // namespace fakemodule
