// The host's transport: tempo, meter, play state and the sample position, which advances with
// each buffer while playing. Musical positions use 960000 ticks per quarter note; bars and
// beats count from 1, as a host shows them.
#pragma once

#include <atomic>
#include <cstdint>

#include "HostObject.h"
#include "interfaces/aax_host.h"

namespace aaxhost {

constexpr int64_t kTicksPerQuarter = 960000;

class TransportState {
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

// Implements the transport operations over a TransportState, for either interface form.
#define AAXHOST_TRANSPORT_OPERATIONS                                                                      \
    AAX_Result GetCurrentTempo(double* out) const override {                                              \
        ++state_.queries;                                                                                 \
        if (out == nullptr) return AAX_ERROR_NULL_OBJECT;                                                 \
        *out = state_.Tempo();                                                                            \
        return AAX_SUCCESS;                                                                               \
    }                                                                                                     \
    AAX_Result GetCurrentMeter(int32_t* numerator, int32_t* denominator) const override {                \
        ++state_.queries;                                                                                 \
        if (numerator == nullptr || denominator == nullptr) return AAX_ERROR_NULL_OBJECT;                 \
        *numerator = state_.Numerator();                                                                  \
        *denominator = state_.Denominator();                                                              \
        return AAX_SUCCESS;                                                                               \
    }                                                                                                     \
    AAX_Result IsTransportPlaying(bool* out) const override {                                             \
        ++state_.queries;                                                                                 \
        if (out == nullptr) return AAX_ERROR_NULL_OBJECT;                                                 \
        *out = state_.Playing();                                                                          \
        return AAX_SUCCESS;                                                                               \
    }                                                                                                     \
    AAX_Result GetCurrentTickPosition(int64_t* out) const override {                                      \
        if (out == nullptr) return AAX_ERROR_NULL_OBJECT;                                                 \
        *out = state_.TicksAt(state_.Position());                                                         \
        return AAX_SUCCESS;                                                                               \
    }                                                                                                     \
    AAX_Result GetCurrentLoopPosition(bool* looping, int64_t* start, int64_t* end) const override {       \
        if (looping == nullptr || start == nullptr || end == nullptr) return AAX_ERROR_NULL_OBJECT;       \
        *looping = false;                                                                                 \
        *start = 0;                                                                                       \
        *end = 0;                                                                                         \
        return AAX_SUCCESS;                                                                               \
    }                                                                                                     \
    AAX_Result GetCurrentNativeSampleLocation(int64_t* out) const override {                              \
        ++state_.queries;                                                                                 \
        if (out == nullptr) return AAX_ERROR_NULL_OBJECT;                                                 \
        *out = state_.Position();                                                                         \
        return AAX_SUCCESS;                                                                               \
    }                                                                                                     \
    AAX_Result GetCustomTickPosition(int64_t* out, int64_t location) const override {                     \
        if (out == nullptr) return AAX_ERROR_NULL_OBJECT;                                                 \
        *out = state_.TicksAt(location);                                                                  \
        return AAX_SUCCESS;                                                                               \
    }                                                                                                     \
    AAX_Result GetBarBeatPosition(int32_t* bars, int32_t* beats, int64_t* ticks, int64_t location)        \
        const override {                                                                                  \
        ++state_.queries;                                                                                 \
        if (bars == nullptr || beats == nullptr || ticks == nullptr) return AAX_ERROR_NULL_OBJECT;        \
        state_.BarBeatAt(location, bars, beats, ticks);                                                   \
        return AAX_SUCCESS;                                                                               \
    }                                                                                                     \
    AAX_Result GetTicksPerQuarter(uint32_t* out) const override {                                         \
        if (out == nullptr) return AAX_ERROR_NULL_OBJECT;                                                 \
        *out = static_cast<uint32_t>(kTicksPerQuarter);                                                   \
        return AAX_SUCCESS;                                                                               \
    }                                                                                                     \
    AAX_Result GetCurrentTicksPerBeat(uint32_t* out) const override {                                     \
        if (out == nullptr) return AAX_ERROR_NULL_OBJECT;                                                 \
        *out = static_cast<uint32_t>(state_.TicksPerBeat());                                              \
        return AAX_SUCCESS;                                                                               \
    }                                                                                                     \
    AAX_Result GetTimelineSelectionStartPosition(int64_t* out) const override {                           \
        if (out == nullptr) return AAX_ERROR_NULL_OBJECT;                                                 \
        *out = 0;                                                                                         \
        return AAX_SUCCESS;                                                                               \
    }                                                                                                     \
    AAX_Result GetTimeCodeInfo(int32_t* frameRate, int64_t* offset) const override {                      \
        if (frameRate == nullptr || offset == nullptr) return AAX_ERROR_NULL_OBJECT;                      \
        *frameRate = 0;                                                                                   \
        *offset = 0;                                                                                      \
        return AAX_SUCCESS;                                                                               \
    }                                                                                                     \
    AAX_Result GetFeetFramesInfo(int32_t* rate, int64_t* offset) const override {                         \
        if (rate == nullptr || offset == nullptr) return AAX_ERROR_NULL_OBJECT;                           \
        *rate = 0;                                                                                        \
        *offset = 0;                                                                                      \
        return AAX_SUCCESS;                                                                               \
    }

// [any] The transport component handed to Initialize.
class HostTransport final : public HostObject<AAX_IACFTransport_V2> {
public:
    explicit HostTransport(TransportState& state) : state_(state) {}
    AAXHOST_TRANSPORT_OPERATIONS

protected:
    bool Answers(const acfIID& iid) const override { return OneOf(iid, {IID_IAAXTransportV1, IID_IAAXTransportV2}); }

private:
    TransportState& state_;
};

// [audio] The transport a MIDI node hands out during processing.
class NodeTransport final : public AAX_ITransport {
public:
    explicit NodeTransport(TransportState& state) : state_(state) {}
    AAXHOST_TRANSPORT_OPERATIONS

private:
    TransportState& state_;
};

}  // namespace aaxhost
