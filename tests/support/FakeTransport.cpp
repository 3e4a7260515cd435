#include "support/FakeTransport.h"

int32_t FakeTransport::Tempo(double* bpm) const {
    ++tempoQueries;
    if (tempoResult != AAX_SUCCESS) return tempoResult;
    if (bpm != nullptr) *bpm = tempo;
    return AAX_SUCCESS;
}

int32_t FakeTransport::Meter(int32_t* numerator, int32_t* denominator) const {
    ++meterQueries;
    if (meterResult != AAX_SUCCESS) return meterResult;
    if (numerator != nullptr) *numerator = meterNumerator;
    if (denominator != nullptr) *denominator = meterDenominator;
    return AAX_SUCCESS;
}

int32_t FakeTransport::Playing(bool* isPlaying) const {
    ++playingQueries;
    if (playingResult != AAX_SUCCESS) return playingResult;
    if (isPlaying != nullptr) *isPlaying = playing;
    return AAX_SUCCESS;
}

int32_t FakeTransport::SampleLocation(int64_t* location) const {
    ++sampleLocationQueries;
    if (sampleLocationResult != AAX_SUCCESS) return sampleLocationResult;
    if (location != nullptr) *location = sampleLocation;
    return AAX_SUCCESS;
}

int32_t FakeTransport::BarBeatPosition(int32_t* outBars, int32_t* outBeats, int64_t* outTicks,
                                       int64_t location) const {
    ++barBeatQueries;
    lastBarBeatLocation = location;
    if (barBeatResult != AAX_SUCCESS) return barBeatResult;
    if (outBars != nullptr) *outBars = bars;
    if (outBeats != nullptr) *outBeats = beats;
    if (outTicks != nullptr) *outTicks = displayTicks;
    return AAX_SUCCESS;
}

int32_t FakeTransport::TicksPerQuarter(uint32_t* ticks) const {
    if (ticks != nullptr) *ticks = 960000;
    return AAX_SUCCESS;
}

int32_t FakeTransport::TicksPerBeat(uint32_t* ticks) const {
    if (ticks != nullptr) *ticks = 960000;
    return AAX_SUCCESS;
}
