#include "DelayEngine.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>

namespace vantrelo {
namespace {

constexpr double kDefaultSampleRate = 44100.0;
constexpr double kPi = 3.14159265358979323846;

// A non-finite sample becomes 0; a finite one passes bit for bit. The comparison is false for
// NaN, so this is a compare and a mask, without a branch.
inline float FiniteOrZero(float value) { return std::fabs(value) <= FLT_MAX ? value : 0.0f; }

// What is stored in a line or the filter: tiny values become 0 (see kFlushThreshold), and so does
// anything not finite, which would otherwise stay in the line and the filter for good. One
// unsigned compare on the magnitude's bits passes exactly the finite magnitudes from the
// threshold up (infinity and NaN lie above the largest finite float); its result becomes a mask,
// so there is no branch.
inline float Flush(float value) {
    constexpr uint32_t kLowest = std::bit_cast<uint32_t>(DelayEngine::kFlushThreshold);
    constexpr uint32_t kInfinity = 0x7F800000u;
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    const uint32_t keep = 0u - static_cast<uint32_t>((bits & 0x7FFFFFFFu) - kLowest < kInfinity - kLowest);
    return std::bit_cast<float>(bits & keep);
}

// One-pole glide that lands exactly on its target, so settled gains are exact.
inline float Glide(float current, float target, float coefficient) {
    const float next = current + coefficient * (target - current);
    return std::fabs(target - next) < 1e-6f ? target : next;
}

}  // namespace

void LineMemory::Allocate(int32_t length) {
    std::vector<float> newLeft(static_cast<size_t>(length), 0.0f);
    std::vector<float> newRight(static_cast<size_t>(length), 0.0f);
    left.swap(newLeft);
    right.swap(newRight);
}

void LineMemory::Release() {
    std::vector<float>().swap(left);
    std::vector<float>().swap(right);
}

int32_t DelayEngine::LineLengthFor(double sampleRate) {
    if (!std::isfinite(sampleRate) || sampleRate <= 0.0) sampleRate = kDefaultSampleRate;
    if (sampleRate >= kMaxSampleRate) return kLongestLine;
    const double longest = std::floor(kMaxDelaySeconds * sampleRate + 0.5);
    return (longest < 1.0 ? 1 : static_cast<int32_t>(longest)) + 1;
}

DelayEngine::DelayEngine() { Configure(kDefaultSampleRate); }

void DelayEngine::Configure(double sampleRate) {
    if (!std::isfinite(sampleRate) || sampleRate <= 0.0) return;
    sampleRate_ = sampleRate;
    const int32_t room = lineLength_ > 1 ? lineLength_ - 1 : 1;
    const double longest = std::floor(kMaxDelaySeconds * sampleRate + 0.5);
    maxDelaySamples_ = longest >= room ? room : (longest < 1.0 ? 1 : static_cast<int32_t>(longest));
    glideCoefficient_ = static_cast<float>(1.0 - std::exp(-1.0 / (kGlideSeconds * sampleRate)));
    const double fade = std::floor(kCrossfadeSeconds * sampleRate + 0.5);
    crossfadeLength_ = fade < 1.0 ? 1 : (fade > room ? room : static_cast<int32_t>(fade));
    crossfadeStep_ = 1.0f / static_cast<float>(crossfadeLength_);
    DropTail();  // ends a crossfade first, so that the clamp below holds
    if (currentDelay_ > maxDelaySamples_) currentDelay_ = maxDelaySamples_;
}

void DelayEngine::AdoptLine(LineMemory& memory) {
    line_.left.swap(memory.left);
    line_.right.swap(memory.right);
    lineLength_ = line_.Length();
    writeIndex_ = 0;
    Configure(sampleRate_);
}

int32_t DelayEngine::DelayInSamples(double seconds) const {
    const double samples = std::floor(seconds * sampleRate_ + 0.5);
    if (!(samples >= 1.0)) return 1;  // also NaN
    if (samples >= maxDelaySamples_) return maxDelaySamples_;
    return static_cast<int32_t>(samples);
}

void DelayEngine::DropTail() {
    samplesSinceClear_ = 0;
    lowPassLeft_ = 0.0f;
    lowPassRight_ = 0.0f;
    if (crossfadePosition_ > 0) {
        currentDelay_ = nextDelay_;
        crossfadePosition_ = 0;
    }
}

void DelayEngine::SnapTo(const BlockSettings& settings) {
    feedbackGain_ = settings.feedbackGain;
    wetMix_ = settings.wetMix;
    outputGain_ = settings.outputGain;
    currentDelay_ = settings.delaySamples;
    crossfadePosition_ = 0;
}

float DelayEngine::Tap(const std::vector<float>& line, int32_t delay) const {
    if (delay > samplesSinceClear_) return 0.0f;  // written before the tail was dropped
    int32_t index = writeIndex_ - delay;
    if (index < 0) index += lineLength_;
    return line[static_cast<size_t>(index)];
}

void DelayEngine::StartCrossfade(int32_t delay) {
    nextDelay_ = delay;
    crossfadePosition_ = 1;
}

void DelayEngine::Process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                          int32_t frames, const BlockSettings& settings, int32_t clearAtFrame) {
    const bool stereo = outRight != nullptr;
    if (inRight == nullptr) inRight = inLeft;
    const bool pingPong = stereo && settings.pingPong;
    const int32_t targetDelay =
        settings.delaySamples < 1 ? 1 : (settings.delaySamples > maxDelaySamples_ ? maxDelaySamples_ : settings.delaySamples);
    const bool filtered = !settings.toneBypassed;
    float toneCoefficient = 1.0f;
    if (filtered) {
        toneCoefficient = static_cast<float>(1.0 - std::exp(-2.0 * kPi * settings.toneCutoffHz / sampleRate_));
    }
    if (lineLength_ < 2) {
        std::fill(outLeft, outLeft + frames, 0.0f);
        if (stereo) std::fill(outRight, outRight + frames, 0.0f);
        return;
    }
    float* const lineLeft = line_.left.data();
    float* const lineRight = line_.right.data();

    for (int32_t i = 0; i < frames; ++i) {
        if (i == clearAtFrame) DropTail();
        const float dryLeft = FiniteOrZero(inLeft[i]);
        const float dryRight = stereo ? FiniteOrZero(inRight[i]) : 0.0f;

        if (crossfadePosition_ == 0 && currentDelay_ != targetDelay) StartCrossfade(targetDelay);
        feedbackGain_ = Glide(feedbackGain_, settings.feedbackGain, glideCoefficient_);
        wetMix_ = Glide(wetMix_, settings.wetMix, glideCoefficient_);
        outputGain_ = Glide(outputGain_, settings.outputGain, glideCoefficient_);

        float wetLeft = Tap(line_.left, currentDelay_);
        float wetRight = stereo ? Tap(line_.right, currentDelay_) : 0.0f;
        if (crossfadePosition_ > 0) {
            const float toNext = static_cast<float>(crossfadePosition_) * crossfadeStep_;
            wetLeft += toNext * (Tap(line_.left, nextDelay_) - wetLeft);
            if (stereo) wetRight += toNext * (Tap(line_.right, nextDelay_) - wetRight);
            if (++crossfadePosition_ > crossfadeLength_) {
                currentDelay_ = nextDelay_;
                crossfadePosition_ = 0;
            }
        }

        float returnLeft = wetLeft;
        float returnRight = wetRight;
        if (filtered) {
            lowPassLeft_ = Flush(lowPassLeft_ + toneCoefficient * (wetLeft - lowPassLeft_));
            returnLeft = lowPassLeft_;
            if (stereo) {
                lowPassRight_ = Flush(lowPassRight_ + toneCoefficient * (wetRight - lowPassRight_));
                returnRight = lowPassRight_;
            }
        }

        if (pingPong) {
            // The input enters on the left only; each repeat crosses to the other side.
            lineLeft[writeIndex_] = Flush(0.5f * (dryLeft + dryRight) + feedbackGain_ * returnRight);
            lineRight[writeIndex_] = Flush(feedbackGain_ * returnLeft);
        } else {
            lineLeft[writeIndex_] = Flush(dryLeft + feedbackGain_ * returnLeft);
            if (stereo) lineRight[writeIndex_] = Flush(dryRight + feedbackGain_ * returnRight);
        }

        const float dryGain = 1.0f - wetMix_;
        outLeft[i] = outputGain_ * (dryGain * dryLeft + wetMix_ * wetLeft);
        if (stereo) outRight[i] = outputGain_ * (dryGain * dryRight + wetMix_ * wetRight);

        if (++writeIndex_ == lineLength_) writeIndex_ = 0;
        if (samplesSinceClear_ < lineLength_) ++samplesSinceClear_;
    }
    if (clearAtFrame >= frames) DropTail();
}

}  // namespace vantrelo
