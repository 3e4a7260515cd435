#include "Transport.h"

#include <cmath>

namespace aaxhost {

int64_t TransportState::TicksAt(int64_t sampleLocation) const {
    const double quarters = static_cast<double>(sampleLocation) / sampleRate_ * tempo_ / 60.0;
    return static_cast<int64_t>(std::floor(quarters * static_cast<double>(kTicksPerQuarter) + 1e-6));
}

int64_t TransportState::TicksPerBeat() const {
    const int32_t denominator = denominator_ > 0 ? denominator_ : 4;
    return kTicksPerQuarter * 4 / denominator;
}

void TransportState::BarBeatAt(int64_t sampleLocation, int32_t* bars, int32_t* beats, int64_t* ticks) const {
    const int64_t total = TicksAt(sampleLocation);
    const int64_t perBeat = TicksPerBeat();
    const int32_t numerator = numerator_ > 0 ? numerator_ : 4;
    // Floor division, so positions before the start count back from bar 1 as bar 0, -1, ...
    int64_t wholeBeats = total / perBeat;
    if (total % perBeat != 0 && total < 0) --wholeBeats;
    int64_t bar = wholeBeats / numerator;
    if (wholeBeats % numerator != 0 && wholeBeats < 0) --bar;
    *bars = static_cast<int32_t>(bar + 1);
    *beats = static_cast<int32_t>(wholeBeats - bar * numerator + 1);
    *ticks = total - wholeBeats * perBeat;
}

}  // namespace aaxhost
