// Drives the built VantreloDelay library through its VST 2 interface only, as a host would:
// loads it by file, calls its entry point, answers its host callback and records what it asks.
#pragma once

#include <cstdint>
#include <vector>

#include "interfaces/vst2.h"

namespace effects_test {

// The entry point of the library next to the test binaries ("main" or "VSTPluginMain"), or
// null. The library is loaded once and stays loaded.
vst2::MainProc EffectEntryPoint(const char* name = "main");

struct HostCall {
    int32_t opcode;
    int32_t index;
    intptr_t value;
    float opt;
};

// A host callback with a scripted transport. It records every call except time requests
// (which it only counts) into storage reserved up front, so answering never allocates.
class FakeHost {
public:
    FakeHost();
    static intptr_t Callback(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                             float opt);

    std::vector<HostCall> Calls(int32_t opcode) const;

    std::vector<HostCall> calls;
    int32_t timeRequests = 0;
    bool answerTime = false;
    vst2::VstTimeInfo time{};
    // Delivers an all-notes-off (B0 7B 00) from inside the next time request, as a host does
    // when it reports a transport stop.
    bool allNotesOffInNextTimeRequest = false;
    // Sets the parameter back on the effect when it automates one, as a host that settles the
    // value does.
    bool echoAutomation = false;

private:
    vst2::VstMidiEvent stopEvent_{};
    vst2::VstEvents stopEvents_{};
};

struct Stereo {
    std::vector<float> left;
    std::vector<float> right;
};

// A stereo signal of `length` samples, zero but for `amplitude` at sample 0 on both sides.
Stereo Impulse(size_t length, float amplitude = 1.0f);

// One effect instance, closed when the object goes.
class EffectInstance {
public:
    explicit EffectInstance(FakeHost* host = nullptr);
    ~EffectInstance();
    EffectInstance(const EffectInstance&) = delete;
    EffectInstance& operator=(const EffectInstance&) = delete;

    vst2::AEffect* Get() const { return effect_; }
    intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f);
    void Set(int32_t index, float value);
    float Value(int32_t index) const;
    // Sample rate, block size, open and resume, as a host prepares an effect.
    void Start(float sampleRate = 48000.0f, int32_t blockSize = 512);
    // Runs the signal through processReplacing in blocks of `block` frames.
    Stereo Render(const Stereo& input, int32_t block = 512);
    // Mono: second channel pointers null.
    std::vector<float> RenderMono(const std::vector<float>& input, int32_t block = 512);
    // Sends one MIDI event.
    void SendMidi(uint8_t status, uint8_t data1, uint8_t data2, int32_t deltaFrames);

private:
    vst2::AEffect* effect_ = nullptr;
};

// The effect's settings for the reference impulse response: time 0.25, feedback 0.5, mix 1,
// tone 1 (unfiltered), output 0.5 (unity gain).
void ApplyImpulseSettings(EffectInstance& effect);

}  // namespace effects_test
