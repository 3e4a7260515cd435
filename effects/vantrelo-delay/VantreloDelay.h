// VantreloDelay: a stereo tempo-syncable delay presented as a VST 2 effect. One DelayEffect per
// instance; the host reaches it only through the AEffect record it embeds.
//
// Sample rates: any finite positive rate is taken. The delay memory is sized for the rate on the
// main thread, when the rate is set (effSetSampleRate) and again at resume (effMainsChanged 1),
// and the audio thread adopts it at its next block without allocating, also while it runs. The
// whole range of 2 s is held up to DelayEngine::kMaxSampleRate (1.536 MHz, 24.6 MB an
// instance); above it the longest delay stays at that rate's 3,072,000 samples.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "DelayEditor.h"
#include "DelayEngine.h"
#include "DelayParameters.h"
#include "interfaces/vst2.h"

namespace vantrelo {

constexpr int32_t kUniqueId = 0x5674446C;  // 'VtDl'
constexpr int32_t kEffectVersion = 1000;
constexpr const char* kEffectName = "VantreloDelay";
constexpr const char* kVendorName = "Brenlock";

class DelayEffect final : private EditorOwner {
public:
    // [main] Creates an instance for a host (the callback may be null). Reserves all memory
    // that processing needs. Throws std::bad_alloc only; the entry point turns that into null.
    explicit DelayEffect(vst2::AudioMasterCallback host);
    DelayEffect(const DelayEffect&) = delete;
    DelayEffect& operator=(const DelayEffect&) = delete;

    // [any] The record handed to the host; it stays valid until effClose.
    vst2::AEffect* Record() { return &record_; }

private:
    ~DelayEffect() = default;  // only effClose destroys an instance

    // Entry points stored in the AEffect record.
    // [any] Main-thread opcodes, except effProcessEvents ([audio]); never throws.
    static intptr_t DispatchEntry(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                  float opt);
    // [audio] Allocates nothing, locks nothing, waits for nothing.
    static void ProcessReplacingEntry(vst2::AEffect* effect, float** inputs, float** outputs, int32_t frames);
    // [audio] The accumulating form of the old interface: adds the result to the outputs.
    static void ProcessAccumulatingEntry(vst2::AEffect* effect, float** inputs, float** outputs, int32_t frames);
    // [any] Values outside [0, 1] are clamped, NaN and unknown indices ignored.
    static void SetParameterEntry(vst2::AEffect* effect, int32_t index, float value);
    // [any] 0 for an unknown index.
    static float GetParameterEntry(vst2::AEffect* effect, int32_t index);

    // [main] (effProcessEvents: [audio])
    intptr_t Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
    // [audio]
    void Render(float** inputs, float** outputs, int32_t frames, bool accumulate);
    // [audio] Asks the host for the time, adopts rate changes and an offered line, applies a
    // pending resume, and maps the parameter values for one block.
    BlockSettings PrepareBlock();
    // [main] Puts a line sized for `rate` on offer to the audio thread unless the engine has
    // one of that length, and frees what the audio thread handed back. False when memory is
    // short: the engine then keeps the line it has (and any earlier offer stands).
    bool PrepareLine(double rate);
    // [main] Takes spareLine_ back from the offer, waiting out a hand-over in progress (a swap
    // of pointers). Returns whether it was still on offer.
    bool ReclaimSpareLine();
    // [audio] Adopts the offered line, if any. Allocates and frees nothing.
    bool TakeOfferedLine();
    // [audio] The host's tempo when it reports a valid one, else 120 BPM.
    double HostTempo();
    // [audio] Notes an all-notes-off at a frame of the coming block; the earliest one wins.
    void RequestTailClear(int32_t frame);
    // [audio]
    intptr_t ProcessEvents(const vst2::VstEvents* events);
    // [main]
    intptr_t GetChunk(void** data);
    // [main]
    intptr_t SetChunk(const void* data, intptr_t size);
    // [main]
    intptr_t GetParameterProperties(int32_t index, vst2::VstParameterProperties* properties) const;
    // [main] Writes the value's text (at most 8 bytes with the NUL).
    void FormatParameterDisplay(int32_t index, char* text) const;

    // EditorOwner, [main]
    float ParameterValue(int32_t index) const override;
    void ApplyParameterValue(int32_t index, float value) override;
    intptr_t CallHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) override;
    std::string ValueText(int32_t index) const override;

    static constexpr int32_t kNoTailClear = INT32_MAX;
    // Who holds spareLine_: the main thread (kept), nobody yet (offered: the audio thread may
    // take it), or the audio thread while it swaps it with the engine's line (taking).
    enum LineOffer : int32_t { kLineKept, kLineOffered, kLineTaking };

    vst2::AEffect record_{};
    const vst2::AudioMasterCallback host_;
    std::array<std::atomic<float>, kNumParameters> values_;
    std::atomic<double> sampleRate_{44100.0};
    std::atomic<int32_t> blockSize_{1024};
    std::atomic<bool> bypassed_{false};
    std::atomic<bool> resumePending_{true};
    std::atomic<int32_t> pendingTailClear_{kNoTailClear};
    std::atomic<int32_t> lineOffer_{kLineKept};
    // A line on its way to the engine, or the one it replaced, on its way to be freed.
    LineMemory spareLine_;

    // Audio-thread state.
    DelayEngine engine_;
    bool wasBypassed_ = false;

    // Main-thread state.
    DelayEditor editor_;
    std::vector<uint8_t> chunk_;  // the last chunk handed out by effGetChunk

    static_assert(std::atomic<float>::is_always_lock_free);
    static_assert(std::atomic<double>::is_always_lock_free);
    static_assert(std::atomic<int32_t>::is_always_lock_free);
};

// [main] Creates an instance and returns its record, or null when memory is short.
vst2::AEffect* CreateDelayEffect(vst2::AudioMasterCallback host);

}  // namespace vantrelo
