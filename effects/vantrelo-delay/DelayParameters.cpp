#include "DelayParameters.h"

#include <cmath>

namespace vantrelo {

float ClampUnit(float value) {
    if (!(value > 0.0f)) return 0.0f;  // also catches NaN
    return value < 1.0f ? value : 1.0f;
}

int32_t SwitchPosition(float value, int32_t steps) {
    if (steps < 2) return 0;
    return static_cast<int32_t>(std::lround(ClampUnit(value) * static_cast<float>(steps - 1)));
}

float SwitchValue(int32_t position, int32_t steps) {
    if (steps < 2 || position <= 0) return 0.0f;
    if (position >= steps - 1) return 1.0f;
    return static_cast<float>(position) / static_cast<float>(steps - 1);
}

double DelaySeconds(float time) { return kMaxDelaySeconds * static_cast<double>(ClampUnit(time)); }

double DivisionQuarterNotes(float division) {
    static constexpr double kQuarterNotes[5] = {0.25, 0.5, 0.75, 1.0, 2.0};
    return kQuarterNotes[SwitchPosition(division, 5)];
}

float FeedbackGain(float feedback) { return 0.95f * ClampUnit(feedback); }

float OutputGain(float output) { return 2.0f * ClampUnit(output); }

double ToneCutoffHz(float tone) { return 200.0 * std::pow(100.0, static_cast<double>(ClampUnit(tone))); }

double EditorScale(float uiScale) { return 1.0 + 0.5 * SwitchPosition(uiScale, 3); }

}  // namespace vantrelo
