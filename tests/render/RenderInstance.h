// One effect instance as the processing callback sees it: a recording effect held by a real
// VstInterface and VstCallBack, the host's channel buffers, a scriptable transport node and MIDI
// input node, and the context record that points at all of them.
#pragma once

#include <cstdint>
#include <vector>

#include "render/AlgorithmContext.h"
#include "SlotObjects.h"
#include "support/FakeTransport.h"
#include "support/RecordingEffect.h"
#include "vsthost/VstCallBack.h"
#include "vsthost/VstInterface.h"

class RenderInstance {
public:
    static constexpr int32_t kFrames = 16;

    // channels: 1 (mono) or 2 (stereo) on both sides. The host arrays always have two valid
    // channels, so an entry passed where it should not be shows up.
    explicit RenderInstance(int32_t channels);
    ~RenderInstance();
    RenderInstance(const RenderInstance&) = delete;
    RenderInstance& operator=(const RenderInstance&) = delete;

    void* Context() { return &context; }
    // The effect asks for the time from inside processReplacing, as a tempo-synced delay does.
    void AskForTimeWhileProcessing();
    // Points the host's channels at buffers of this many frames instead (inputs counting up
    // from channel * 100000 + 1, outputs -1) and makes it the frame count.
    void UseLongBuffers(int32_t length);
    // The time records the effect received, in order.
    std::vector<vst2::VstTimeInfo> TimesSeen() const;

    // Declared before vst so the effect outlives the effClose that vst sends on destruction.
    RecordingEffect effect;
    VstCallBack callBack{nullptr};
    VstInterface vst;
    VstInterface* vstPointer = &vst;  // what field 7 points at

    int32_t inputChannels;
    int32_t outputChannels;
    int32_t frames = kFrames;
    int32_t loaded = 1;
    float inputData[2][kFrames] = {};
    float outputData[2][kFrames] = {};
    float* hostInputs[2];
    float* hostOutputs[2];
    std::vector<float> longInputs[2], longOutputs[2];

    // The host's own transport and MIDI node objects, laid out as the host hands them over.
    FakeTransport transport;
    aaxhost::TransportObject transportObject{&transport};
    aaxhost::MidiNodeObject transportNode{3, 64, &transportObject};
    aaxhost::MidiNodeObject midiInput{0, 64};
    AlgorithmContext context{};

    // The channel entries that the effect's last processReplacing received: as many as the
    // effect declares, up to four.
    static constexpr int kSeenEntries = 4;
    float* seenInputs[kSeenEntries] = {};
    float* seenOutputs[kSeenEntries] = {};
    int32_t processCalls = 0;

private:
    static void ProbeProcess(vst2::AEffect* effect, float** inputs, float** outputs, int32_t frames);
    vst2::ProcessProc recordingProcess = nullptr;
};

// Runs the callback over the given contexts (null entries stay null).
void RunBatch(std::vector<void*> contexts);
