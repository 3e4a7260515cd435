// A scriptable host transport: every answer and result code is a public field that a test sets,
// and every query is counted. Answers allocate nothing, so the fake may run inside the
// processing callback while a test counts allocations.
#pragma once

#include <cstdint>

#include "interfaces/aax_host.h"

class FakeTransport : public AAX_ITransport {
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

    // Query counts and the location that the last bar/beat query asked about. The queries are
    // const in the interface; the counting is the fake's own bookkeeping.
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

    AAX_Result GetCurrentTempo(double* outTempo) const override;
    AAX_Result GetCurrentMeter(int32_t* outNumerator, int32_t* outDenominator) const override;
    AAX_Result IsTransportPlaying(bool* outIsPlaying) const override;
    AAX_Result GetCurrentTickPosition(int64_t* outTickPosition) const override;
    AAX_Result GetCurrentLoopPosition(bool* outLooping, int64_t* outLoopStartTick,
                                      int64_t* outLoopEndTick) const override;
    AAX_Result GetCurrentNativeSampleLocation(int64_t* outSampleLocation) const override;
    AAX_Result GetCustomTickPosition(int64_t* outTickPosition, int64_t sampleLocation) const override;
    AAX_Result GetBarBeatPosition(int32_t* outBars, int32_t* outBeats, int64_t* outDisplayTicks,
                                  int64_t sampleLocation) const override;
    AAX_Result GetTicksPerQuarter(uint32_t* outTicks) const override;
    AAX_Result GetCurrentTicksPerBeat(uint32_t* outTicks) const override;
    AAX_Result GetTimelineSelectionStartPosition(int64_t* outSampleLocation) const override;
    AAX_Result GetTimeCodeInfo(int32_t* outFrameRate, int64_t* outOffset) const override;
    AAX_Result GetFeetFramesInfo(int32_t* outFeetFramesRate, int64_t* outOffset) const override;
};
