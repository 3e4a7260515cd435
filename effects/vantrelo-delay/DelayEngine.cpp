#include "DelayEngine.h"

#include <cmath>

namespace vantrelo {
namespace {

constexpr double kDefaultSampleRate = 44100.0;
constexpr double kPi = 3.14159265358979323846;

inline float Flush(float value) { return std::fabs(value) < DelayEngine::kFlushThreshold ? 0.0f : value; }

// One-pole glide that lands exactly on its target, so settled gains are exact.
inline float Glide(float current, float target, float coefficient) {
    const float next = current + coefficient * (target - current);
    return std::fabs(target - next) < 1e-6f ? target : next;
}

}  // namespace

DelayEngine::DelayEngine() : left_(kLineLength, 0.0f), right_(kLineLength, 0.0f) { Configure(kDefaultSampleRate); }

void DelayEngine::Configure(double sampleRate) {
    if (!std::isfinite(sampleRate) || sampleRate <= 0.0) return;
    sampleRate_ = sampleRate;
    const double longest = std::floor(kMaxDelaySeconds * sampleRate + 0.5);
    maxDelaySamples_ = longest >= kLineLength - 1 ? kLineLength - 1 : (longest < 1.0 ? 1 : static_cast<int32_t>(longest));
    glideCoefficient_ = static_cast<float>(1.0 - std::exp(-1.0 / (kGlideSeconds * sampleRate)));
    const double fade = std::floor(kCrossfadeSeconds * sampleRate + 0.5);
    crossfadeLength_ = fade < 1.0 ? 1 : (fade > kLineLength ? kLineLength : static_cast<int32_t>(fade));
    crossfadeStep_ = 1.0f / static_cast<float>(crossfadeLength_);
    if (currentDelay_ > maxDelaySamples_) currentDelay_ = maxDelaySamples_;
    DropTail();
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
    if (index < 0) index += kLineLength;
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
    float* const lineLeft = left_.data();
    float* const lineRight = right_.data();

    for (int32_t i = 0; i < frames; ++i) {
        if (i == clearAtFrame) DropTail();
        const float dryLeft = inLeft[i];
        const float dryRight = stereo ? inRight[i] : 0.0f;

        if (crossfadePosition_ == 0 && currentDelay_ != targetDelay) StartCrossfade(targetDelay);
        feedbackGain_ = Glide(feedbackGain_, settings.feedbackGain, glideCoefficient_);
        wetMix_ = Glide(wetMix_, settings.wetMix, glideCoefficient_);
        outputGain_ = Glide(outputGain_, settings.outputGain, glideCoefficient_);

        float wetLeft = Tap(left_, currentDelay_);
        float wetRight = stereo ? Tap(right_, currentDelay_) : 0.0f;
        if (crossfadePosition_ > 0) {
            const float toNext = static_cast<float>(crossfadePosition_) * crossfadeStep_;
            wetLeft += toNext * (Tap(left_, nextDelay_) - wetLeft);
            if (stereo) wetRight += toNext * (Tap(right_, nextDelay_) - wetRight);
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

        if (++writeIndex_ == kLineLength) writeIndex_ = 0;
        if (samplesSinceClear_ < kLineLength) ++samplesSinceClear_;
    }
    if (clearAtFrame >= frames) DropTail();
}

}  // namespace vantrelo
