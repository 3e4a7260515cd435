// The delay's parameters: their identifiers, names, kinds and defaults, and the mapping of
// each normalized value in [0, 1] to what the signal path uses.
#pragma once

#include <cstdint>

namespace vantrelo {

enum ParameterIndex : int32_t {
    kParamTime = 0,
    kParamFeedback,
    kParamMix,
    kParamSync,
    kParamDivision,
    kParamPingPong,
    kParamTone,
    kParamOutput,
    kParamUiScale,
    kNumParameters
};

struct ParameterInfo {
    const char* identifier;  // stable; saved in the state chunk and used by the host to address it
    const char* label;       // long name, also the answer to effGetParamName
    const char* shortLabel;
    int32_t switchSteps;     // 0 for a continuous parameter, otherwise the number of positions
    bool reportsProperties;  // false: effGetParameterProperties answers 0
    bool automatable;
    float defaultValue;
    const char* unit;  // the answer to effGetParamLabel
};

inline constexpr ParameterInfo kParameterInfo[kNumParameters] = {
    {"time", "Time", "Tm", 0, true, true, 0.25f, "ms"},
    {"feedback", "Feedback", "Fb", 0, true, true, 0.4f, "%"},
    {"mix", "Mix", "Mx", 0, true, true, 0.35f, "%"},
    {"sync", "Tempo Sync", "Sync", 2, true, true, 0.0f, ""},
    {"division", "Division", "Div", 5, true, true, 0.75f, ""},
    {"pingpong", "Ping-Pong", "PP", 2, true, true, 0.0f, ""},
    {"tone", "Tone", "Tn", 0, true, true, 0.8f, "Hz"},
    {"output", "Output", "", 0, false, true, 0.5f, "dB"},
    {"uiscale", "Editor Scale", "Scl", 3, true, false, 0.0f, "%"},
};

constexpr double kMaxDelaySeconds = 2.0;
constexpr double kDefaultTempo = 120.0;

// [any] Clamps into [0, 1]; NaN gives 0.
float ClampUnit(float value);
// [any] The position of a switch with `steps` positions: round(v x (steps - 1)).
int32_t SwitchPosition(float value, int32_t steps);
// [any] The normalized value of a switch position.
float SwitchValue(int32_t position, int32_t steps);

// [any] Free delay time: 2000 ms x v.
double DelaySeconds(float time);
// [any] Length of the tempo-synced delay in quarter notes: 1/4, 1/2, 3/4, 1 or 2.
double DivisionQuarterNotes(float division);
// [any] Feedback gain: 0.95 x v.
float FeedbackGain(float feedback);
// [any] Output gain: 2 x v.
float OutputGain(float output);
// [any] Feedback low-pass cutoff: 200 Hz x 100^v.
double ToneCutoffHz(float tone);
// [any] Editor zoom factor: 1, 1.5 or 2.
double EditorScale(float uiScale);

}  // namespace vantrelo
