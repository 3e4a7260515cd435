// Offline rendering through one instance, as `aaxhost render` does it: the input is read, run
// through the instance and written a buffer at a time, so memory stays the same whatever the
// length.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "AudioFile.h"
#include "Automation.h"
#include "Description.h"
#include "HostInstance.h"
#include "MidiText.h"

namespace aaxhost {

struct RenderOptions {
    int32_t stemFormat = 0;  // 0: mono for a one-channel input, else stereo
    int32_t block = 512;
    // Normalized values by parameter identifier, or by index as "#INDEX" (see IsIndexName),
    // applied in order after any restored state.
    std::vector<std::pair<std::string, double>> sets;
    const std::vector<SavedChunk>* stateIn = nullptr;
    bool saveState = false;
    double tempo = 120.0;
    int32_t meterNumerator = 4;
    int32_t meterDenominator = 4;
    bool play = false;
    double stopAtSeconds = -1.0;  // with play: the transport stops here
    std::vector<MidiEvent> midi;
    // Parameter changes over time, applied through the host's automation path at the start of
    // the buffer they fall in; buffers are split at every point so that steps land exactly.
    std::vector<AutomationPoint> automation;
    double tailSeconds = 0.0;
    std::function<void(double)> progress;  // fraction done, now and then
    std::string inputName = "the input";   // for messages
};

// One automation change as the render applied it.
struct AppliedChange {
    int64_t frame = 0;
    std::string id;
    double requested = 0.0;  // the lane's value
    double value = 0.0;      // the parameter's normalized value afterwards, as the module reports it
};

struct RenderResult {
    AudioData output;    // filled by Render (in memory) only
    int64_t frames = 0;  // written to the output
    int32_t channels = 0;
    double sampleRate = 0.0;
    std::vector<SavedChunk> state;  // when saveState
    int64_t droppedMidi = 0;
    int64_t automationChanges = 0;
    int64_t lateMidi = 0;          // MIDI events at or past the end, not sent
    int64_t lateAutomation = 0;    // automation points at or past the end, not reached
    int64_t nonFiniteSamples = 0;  // NaN or infinite samples from the effect, written as they came
    int64_t unwrittenSamples = 0;  // output samples the module left unwritten, written as silence
    bool inputError = false;  // the failure lies in what was asked (an unknown parameter, an unreadable input)
    bool interrupted = false;  // stopped at an interruption's request (InterruptStatus)
};

// Whether a name given to --set is "#INDEX", a parameter's index as `params` lists it, rather
// than an identifier: '#' and one to ten decimal digits.
bool IsIndexName(const std::string& name);

// The stem format a render uses for an input with this many channels.
int32_t RenderStemFormat(const RenderOptions& options, int32_t inputChannels);
// The frames a render writes: the input's and the tail's.
int64_t RenderLength(const RenderOptions& options, int64_t inputFrames, double sampleRate);

// [main] The input runs through a new instance at the input's sample rate; the output gets the
// layout's channel count and the input's length plus the tail. An interruption request stops it
// at the next buffer. A mono layout takes the average
// of the input's channels; a stereo layout takes the first two, or the one channel twice.
// onChange, when given, hears each automation change as it is applied. Fails (exit status 1
// material, unless inputError is set) when the module did not load its effect.
bool RenderStream(const EffectDescription& effect, AudioReader& input, AudioWriter& output,
                  const RenderOptions& options, RenderResult* result, std::string* error,
                  const std::function<void(const AppliedChange&)>& onChange = {});

// [main] The same on audio in memory; the output goes to result->output.
bool Render(const EffectDescription& effect, const AudioData& input, const RenderOptions& options,
            RenderResult* result, std::string* error, const std::function<void(const AppliedChange&)>& onChange = {});

}  // namespace aaxhost
