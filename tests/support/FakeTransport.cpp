#include "support/FakeTransport.h"

AAX_Result FakeTransport::GetCurrentTempo(double* outTempo) const {
    ++tempoQueries;
    if (tempoResult != AAX_SUCCESS) return tempoResult;
    if (outTempo != nullptr) *outTempo = tempo;
    return AAX_SUCCESS;
}

AAX_Result FakeTransport::GetCurrentMeter(int32_t* outNumerator, int32_t* outDenominator) const {
    ++meterQueries;
    if (meterResult != AAX_SUCCESS) return meterResult;
    if (outNumerator != nullptr) *outNumerator = meterNumerator;
    if (outDenominator != nullptr) *outDenominator = meterDenominator;
    return AAX_SUCCESS;
}

AAX_Result FakeTransport::IsTransportPlaying(bool* outIsPlaying) const {
    ++playingQueries;
    if (playingResult != AAX_SUCCESS) return playingResult;
    if (outIsPlaying != nullptr) *outIsPlaying = playing;
    return AAX_SUCCESS;
}

AAX_Result FakeTransport::GetCurrentTickPosition(int64_t*) const { return AAX_ERROR_UNIMPLEMENTED; }

AAX_Result FakeTransport::GetCurrentLoopPosition(bool*, int64_t*, int64_t*) const {
    return AAX_ERROR_UNIMPLEMENTED;
}

AAX_Result FakeTransport::GetCurrentNativeSampleLocation(int64_t* outSampleLocation) const {
    ++sampleLocationQueries;
    if (sampleLocationResult != AAX_SUCCESS) return sampleLocationResult;
    if (outSampleLocation != nullptr) *outSampleLocation = sampleLocation;
    return AAX_SUCCESS;
}

AAX_Result FakeTransport::GetCustomTickPosition(int64_t*, int64_t) const { return AAX_ERROR_UNIMPLEMENTED; }

AAX_Result FakeTransport::GetBarBeatPosition(int32_t* outBars, int32_t* outBeats, int64_t* outDisplayTicks,
                                             int64_t location) const {
    ++barBeatQueries;
    lastBarBeatLocation = location;
    if (barBeatResult != AAX_SUCCESS) return barBeatResult;
    if (outBars != nullptr) *outBars = bars;
    if (outBeats != nullptr) *outBeats = beats;
    if (outDisplayTicks != nullptr) *outDisplayTicks = displayTicks;
    return AAX_SUCCESS;
}

AAX_Result FakeTransport::GetTicksPerQuarter(uint32_t* outTicks) const {
    if (outTicks != nullptr) *outTicks = 960000;
    return AAX_SUCCESS;
}

AAX_Result FakeTransport::GetCurrentTicksPerBeat(uint32_t* outTicks) const {
    if (outTicks != nullptr) *outTicks = 960000;
    return AAX_SUCCESS;
}

AAX_Result FakeTransport::GetTimelineSelectionStartPosition(int64_t*) const { return AAX_ERROR_UNIMPLEMENTED; }

AAX_Result FakeTransport::GetTimeCodeInfo(int32_t*, int64_t*) const { return AAX_ERROR_UNIMPLEMENTED; }

AAX_Result FakeTransport::GetFeetFramesInfo(int32_t*, int64_t*) const { return AAX_ERROR_UNIMPLEMENTED; }
