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

int32_t TransportState::Tempo(double* bpm) const {
    ++queries;
    if (bpm == nullptr) return AAX_ERROR_NULL_OBJECT;
    *bpm = tempo_;
    return AAX_SUCCESS;
}

int32_t TransportState::Meter(int32_t* numerator, int32_t* denominator) const {
    ++queries;
    if (numerator == nullptr || denominator == nullptr) return AAX_ERROR_NULL_OBJECT;
    *numerator = numerator_;
    *denominator = denominator_;
    return AAX_SUCCESS;
}

int32_t TransportState::Playing(bool* playing) const {
    ++queries;
    if (playing == nullptr) return AAX_ERROR_NULL_OBJECT;
    *playing = playing_;
    return AAX_SUCCESS;
}

int32_t TransportState::TickPosition(int64_t* ticks) const {
    if (ticks == nullptr) return AAX_ERROR_NULL_OBJECT;
    *ticks = TicksAt(position_);
    return AAX_SUCCESS;
}

int32_t TransportState::LoopPosition(bool* looping, int64_t* startTick, int64_t* endTick) const {
    if (looping == nullptr || startTick == nullptr || endTick == nullptr) return AAX_ERROR_NULL_OBJECT;
    *looping = false;
    *startTick = 0;
    *endTick = 0;
    return AAX_SUCCESS;
}

int32_t TransportState::SampleLocation(int64_t* location) const {
    ++queries;
    if (location == nullptr) return AAX_ERROR_NULL_OBJECT;
    *location = position_;
    return AAX_SUCCESS;
}

int32_t TransportState::CustomTickPosition(int64_t* ticks, int64_t location) const {
    if (ticks == nullptr) return AAX_ERROR_NULL_OBJECT;
    *ticks = TicksAt(location);
    return AAX_SUCCESS;
}

int32_t TransportState::BarBeatPosition(int32_t* bars, int32_t* beats, int64_t* displayTicks, int64_t location) const {
    ++queries;
    if (bars == nullptr || beats == nullptr || displayTicks == nullptr) return AAX_ERROR_NULL_OBJECT;
    BarBeatAt(location, bars, beats, displayTicks);
    return AAX_SUCCESS;
}

int32_t TransportState::TicksPerQuarter(uint32_t* ticks) const {
    if (ticks == nullptr) return AAX_ERROR_NULL_OBJECT;
    *ticks = static_cast<uint32_t>(kTicksPerQuarter);
    return AAX_SUCCESS;
}

int32_t TransportState::TicksPerBeat(uint32_t* ticks) const {
    if (ticks == nullptr) return AAX_ERROR_NULL_OBJECT;
    *ticks = static_cast<uint32_t>(TicksPerBeat());
    return AAX_SUCCESS;
}

int32_t TransportState::SelectionStart(int64_t* location) const {
    if (location == nullptr) return AAX_ERROR_NULL_OBJECT;
    *location = 0;
    return AAX_SUCCESS;
}

int32_t TransportState::TimeCode(int32_t* frameRate, int64_t* offset) const {
    if (frameRate == nullptr || offset == nullptr) return AAX_ERROR_NULL_OBJECT;
    *frameRate = 0;
    *offset = 0;
    return AAX_SUCCESS;
}

int32_t TransportState::FeetFrames(int32_t* rate, int64_t* offset) const {
    if (rate == nullptr || offset == nullptr) return AAX_ERROR_NULL_OBJECT;
    *rate = 0;
    *offset = 0;
    return AAX_SUCCESS;
}

}  // namespace aaxhost
