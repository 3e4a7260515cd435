// A scriptable source of transport answers for the host's transport object
// (aaxhost::TransportObject): every answer and result code is a public field that a test sets,
// and every query is counted. Answers allocate nothing, so the transport may run inside the
// processing callback while a test counts allocations.
#pragma once

#include <cstdint>

#include "SlotObjects.h"
#include "interfaces/acf.h"

class FakeTransport final : public aaxhost::TransportSource {
public:
    // Answers.
    bool playing = false;
    int64_t sampleLocation = 0;
    double tempo = 120.0;
    int32_t meterNumerator = 4;
    int32_t meterDenominator = 4;
    int32_t bars = 1;
    int32_t beats = 1;
    int64_t displayTicks = 0;

    // Result codes, 0 for success. A failing query leaves its outputs untouched.
    AAX_Result playingResult = AAX_SUCCESS;
    AAX_Result sampleLocationResult = AAX_SUCCESS;
    AAX_Result tempoResult = AAX_SUCCESS;
    AAX_Result meterResult = AAX_SUCCESS;
    AAX_Result barBeatResult = AAX_SUCCESS;

    // Query counts and the location that the last bar/beat query asked about.
    mutable int32_t playingQueries = 0;
    mutable int32_t sampleLocationQueries = 0;
    mutable int32_t tempoQueries = 0;
    mutable int32_t meterQueries = 0;
    mutable int32_t barBeatQueries = 0;
    mutable int64_t lastBarBeatLocation = -1;

    // Sets bar, beat and display ticks together.
    void SetBarBeat(int32_t bar, int32_t beat, int64_t ticks = 0) {
        bars = bar;
        beats = beat;
        displayTicks = ticks;
    }

    int32_t Tempo(double* bpm) const override;
    int32_t Meter(int32_t* numerator, int32_t* denominator) const override;
    int32_t Playing(bool* isPlaying) const override;
    int32_t SampleLocation(int64_t* location) const override;
    int32_t BarBeatPosition(int32_t* outBars, int32_t* outBeats, int64_t* outTicks, int64_t location) const override;
    int32_t TicksPerQuarter(uint32_t* ticks) const override;
    int32_t TicksPerBeat(uint32_t* ticks) const override;
};
