// Offline rendering through one instance, as `aaxhost render` does it, on buffers in memory.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "AudioFile.h"
#include "Description.h"
#include "HostInstance.h"
#include "MidiText.h"

namespace aaxhost {

struct RenderOptions {
    int32_t stemFormat = 0;  // 0: mono for a one-channel input, else stereo
    int32_t block = 512;
    // Normalized values by parameter identifier, applied in order after any restored state.
    std::vector<std::pair<std::string, double>> sets;
    const std::vector<SavedChunk>* stateIn = nullptr;
    bool saveState = false;
    double tempo = 120.0;
    int32_t meterNumerator = 4;
    int32_t meterDenominator = 4;
    bool play = false;
    double stopAtSeconds = -1.0;  // with play: the transport stops here
    std::vector<MidiEvent> midi;
    double tailSeconds = 0.0;
    std::function<void(double)> progress;  // fraction done, now and then
};

struct RenderResult {
    AudioData output;
    std::vector<SavedChunk> state;  // when saveState
    int64_t droppedMidi = 0;
    bool inputError = false;  // the failure lies in what was asked (an unknown parameter)
};

// [main] The input runs through a new instance at the input's sample rate; the output has the
// layout's channel count and the input's length plus the tail. A mono layout takes the average
// of the input's channels; a stereo layout takes the first two, or the one channel twice.
bool Render(const EffectDescription& effect, const AudioData& input, const RenderOptions& options,
            RenderResult* result, std::string* error);

}  // namespace aaxhost
