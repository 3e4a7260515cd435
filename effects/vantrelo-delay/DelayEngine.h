// The signal path: a stereo delay line with feedback, an optional ping-pong routing, a one-pole
// low-pass in the feedback path, dry/wet mix and output gain. Knows nothing of VST.
#pragma once

#include <cstdint>
#include <vector>

#include "DelayParameters.h"

namespace vantrelo {

// What one block needs, already mapped from the parameter values.
struct BlockSettings {
    int32_t delaySamples = 1;  // target delay, within [1, MaxDelaySamples()]
    float feedbackGain = 0.0f;
    float wetMix = 0.0f;
    float outputGain = 1.0f;
    double toneCutoffHz = 20000.0;
    bool toneBypassed = true;  // the feedback path is left unfiltered, exactly
    bool pingPong = false;
};

// The memory of the two delay lines. It is allocated and freed on the main thread and reaches
// the engine whole, so the audio thread only ever swaps pointers.
struct LineMemory {
    std::vector<float> left;
    std::vector<float> right;

    // [main] Two silent lines of `length` samples. Throws std::bad_alloc, leaving this as it was.
    void Allocate(int32_t length);
    // [main] Frees both lines.
    void Release();
    // [any]
    int32_t Length() const { return static_cast<int32_t>(left.size()); }
};

class DelayEngine {
public:
    // The highest rate at which the whole delay range is held. Above it the line keeps the
    // length it has at this rate, so the longest delay is kMaxDelaySeconds x kMaxSampleRate
    // samples (1 s at 3.072 MHz); everything else follows the rate.
    static constexpr double kMaxSampleRate = 1536000.0;
    // The line at that rate: 3,072,001 samples, 12.3 MB per channel.
    static constexpr int32_t kLongestLine = static_cast<int32_t>(kMaxDelaySeconds * kMaxSampleRate) + 1;
    static constexpr double kGlideSeconds = 0.010;     // gain and mix smoothing time constant
    static constexpr double kCrossfadeSeconds = 0.020; // length of a delay-time crossfade
    // Feedback and filter values below this are flushed to zero so that long silent tails never
    // reach the slow denormal range (-300 dB, far below anything audible).
    static constexpr float kFlushThreshold = 1e-15f;

    // [any] The line length that holds the longest delay at `sampleRate` (a rate that is not
    // finite and positive counts as the default rate), at most kLongestLine.
    static int32_t LineLengthFor(double sampleRate);

    // [main] Starts without a line: until one is adopted every block is silent.
    DelayEngine();

    // [audio] Adopts a sample rate (ignored unless finite and positive). Drops the tail; the
    // next block starts at its targets. The longest delay is what the rate and the line allow.
    void Configure(double sampleRate);
    // [audio] Takes `memory` as the delay lines and hands the previous ones back in it (to be
    // freed on the main thread). Drops the tail. Swaps pointers only.
    void AdoptLine(LineMemory& memory);
    // [audio] Also read on the main thread while the engine's line cannot change under it.
    int32_t LineLength() const { return lineLength_; }
    // [any]
    double SampleRate() const { return sampleRate_; }
    // [any] The longest delay at the current rate, in samples.
    int32_t MaxDelaySamples() const { return maxDelaySamples_; }
    // [any] A delay in seconds as a whole number of samples within [1, MaxDelaySamples()].
    int32_t DelayInSamples(double seconds) const;

    // [audio] Forgets every echo and the filter memory. Constant time.
    void DropTail();
    // [audio] Gains, mix and delay time jump to the settings' values instead of gliding.
    void SnapTo(const BlockSettings& settings);

    // [audio] Renders one block. A non-finite input sample (NaN, infinity) is taken as 0, and
    // nothing non-finite is ever stored in the lines or the filter. outRight null means mono:
    // only the left channel is processed. inRight null with a right output takes the left input
    // for both sides. Inputs may alias outputs. At clearAtFrame (if within [0, frames]; frames
    // means after the last sample) the tail is dropped. Allocates nothing, locks nothing.
    void Process(const float* inLeft, const float* inRight, float* outLeft, float* outRight, int32_t frames,
                 const BlockSettings& settings, int32_t clearAtFrame);

private:
    float Tap(const std::vector<float>& line, int32_t delay) const;
    void StartCrossfade(int32_t delay);

    LineMemory line_;
    int32_t lineLength_ = 0;
    double sampleRate_ = 0.0;
    int32_t maxDelaySamples_ = 1;
    int32_t writeIndex_ = 0;
    // How many samples have been written since the tail was last dropped (saturating); older
    // samples read as silence, which makes dropping the tail free of any buffer sweep.
    int32_t samplesSinceClear_ = 0;

    int32_t currentDelay_ = 1;
    int32_t nextDelay_ = 1;
    int32_t crossfadePosition_ = 0;  // > 0 while moving from currentDelay_ to nextDelay_
    int32_t crossfadeLength_ = 1;
    float crossfadeStep_ = 1.0f;

    float glideCoefficient_ = 1.0f;
    float feedbackGain_ = 0.0f;
    float wetMix_ = 0.0f;
    float outputGain_ = 1.0f;
    float lowPassLeft_ = 0.0f;
    float lowPassRight_ = 0.0f;
};

}  // namespace vantrelo
