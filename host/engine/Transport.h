// The host's transport: tempo, meter, play state and the sample position, which advances with
// each buffer while playing. Musical positions use 960000 ticks per quarter note; bars and
// beats count from 1, as a host shows them.
#pragma once

#include <atomic>
#include <cstdint>

#include "HostObject.h"
#include "SlotObjects.h"
#include "interfaces/aax_host.h"

namespace aaxhost {

constexpr int64_t kTicksPerQuarter = 960000;
static_assert(kTransportUnimplemented == AAX_ERROR_UNIMPLEMENTED, "the host's copy of the published result code");

class TransportState final : public TransportSource {
public:
    // [main] Between buffers.
    void SetSampleRate(double sampleRate) { sampleRate_ = sampleRate > 0 ? sampleRate : 48000.0; }
    void SetTempo(double bpm) { tempo_ = bpm; }
    void SetMeter(int32_t numerator, int32_t denominator) {
        numerator_ = numerator;
        denominator_ = denominator;
    }
    void SetPlaying(bool playing) { playing_ = playing; }
    void SetPosition(int64_t sample) { position_ = sample; }
    // [audio] After each buffer: the position moves on by frames while playing.
    void Advance(int32_t frames) {
        if (playing_ && frames > 0) position_ += frames;
    }

    // [any]
    double SampleRate() const { return sampleRate_; }
    double Tempo() const { return tempo_; }
    int32_t Numerator() const { return numerator_; }
    int32_t Denominator() const { return denominator_; }
    bool Playing() const { return playing_; }
    int64_t Position() const { return position_; }

    // [any] Ticks from the start of the timeline to the sample location, at a constant tempo.
    int64_t TicksAt(int64_t sampleLocation) const;
    // [any] Bar and beat (from 1) and the ticks into that beat, at the sample location.
    void BarBeatAt(int64_t sampleLocation, int32_t* bars, int32_t* beats, int64_t* ticks) const;
    // [any] Ticks in one beat of the meter's denominator.
    int64_t TicksPerBeat() const;

    // [any] The transport's answers, as both the transport component and the transport a MIDI
    // node hands out give them. A null output is AAX_ERROR_NULL_OBJECT.
    int32_t Tempo(double* bpm) const override;
    int32_t Meter(int32_t* numerator, int32_t* denominator) const override;
    int32_t Playing(bool* playing) const override;
    int32_t TickPosition(int64_t* ticks) const override;
    int32_t LoopPosition(bool* looping, int64_t* startTick, int64_t* endTick) const override;
    int32_t SampleLocation(int64_t* location) const override;
    int32_t CustomTickPosition(int64_t* ticks, int64_t location) const override;
    int32_t BarBeatPosition(int32_t* bars, int32_t* beats, int64_t* displayTicks, int64_t location) const override;
    int32_t TicksPerQuarter(uint32_t* ticks) const override;
    int32_t TicksPerBeat(uint32_t* ticks) const override;
    int32_t SelectionStart(int64_t* location) const override;
    int32_t TimeCode(int32_t* frameRate, int64_t* offset) const override;
    int32_t FeetFrames(int32_t* rate, int64_t* offset) const override;

    // How often the module asked: a conformance run checks the processing reads the transport.
    mutable std::atomic<int64_t> queries{0};

private:
    double sampleRate_ = 48000.0;
    double tempo_ = 120.0;
    int32_t numerator_ = 4;
    int32_t denominator_ = 4;
    bool playing_ = false;
    int64_t position_ = 0;
};

// [any] The transport component handed to Initialize.
class HostTransport final : public HostObject<AAX_IACFTransport_V2> {
public:
    explicit HostTransport(const TransportSource& source) : source_(source) {}
    AAX_Result GetCurrentTempo(double* out) const override { return source_.Tempo(out); }
    AAX_Result GetCurrentMeter(int32_t* numerator, int32_t* denominator) const override {
        return source_.Meter(numerator, denominator);
    }
    AAX_Result IsTransportPlaying(bool* out) const override { return source_.Playing(out); }
    AAX_Result GetCurrentTickPosition(int64_t* out) const override { return source_.TickPosition(out); }
    AAX_Result GetCurrentLoopPosition(bool* looping, int64_t* start, int64_t* end) const override {
        return source_.LoopPosition(looping, start, end);
    }
    AAX_Result GetCurrentNativeSampleLocation(int64_t* out) const override { return source_.SampleLocation(out); }
    AAX_Result GetCustomTickPosition(int64_t* out, int64_t location) const override {
        return source_.CustomTickPosition(out, location);
    }
    AAX_Result GetBarBeatPosition(int32_t* bars, int32_t* beats, int64_t* ticks, int64_t location) const override {
        return source_.BarBeatPosition(bars, beats, ticks, location);
    }
    AAX_Result GetTicksPerQuarter(uint32_t* out) const override { return source_.TicksPerQuarter(out); }
    AAX_Result GetCurrentTicksPerBeat(uint32_t* out) const override { return source_.TicksPerBeat(out); }
    AAX_Result GetTimelineSelectionStartPosition(int64_t* out) const override { return source_.SelectionStart(out); }
    AAX_Result GetTimeCodeInfo(int32_t* rate, int64_t* offset) const override { return source_.TimeCode(rate, offset); }
    AAX_Result GetFeetFramesInfo(int32_t* rate, int64_t* offset) const override {
        return source_.FeetFrames(rate, offset);
    }

protected:
    bool Answers(const acfIID& iid) const override { return OneOf(iid, {IID_IAAXTransportV1, IID_IAAXTransportV2}); }

private:
    const TransportSource& source_;
};

}  // namespace aaxhost
