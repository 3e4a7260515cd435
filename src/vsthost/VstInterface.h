// One effect instance's hold on the wrapped VST 2 effect. Every call into the effect goes
// through this class: the members below are gated (made only while an effect is held, the
// instance is open and the effect has not failed, otherwise skipped with the caller's fallback),
// and DispatchUngated is the single ungated path, for closing the effect and for answering the
// effect's own host callback.
//
// This is also where the effect's exceptions stop. Whatever an entry point of the effect throws
// (dispatcher, processReplacing, setParameter, getParameter) is caught here: the call answers
// its fallback, as a skipped call does, the effect counts as failed for good (no call reaches it
// any more but effClose, so the instance goes on as one whose effect did not load), and one line
// through the platform log names the call that failed. On the audio thread nothing is formatted
// or written: the failure is recorded there, and the main thread writes the line
// (ReportDeferredFailure).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>

#include "interfaces/vst2.h"

class VstCallBack;

class VstInterface {
public:
    // Number of preformatted MIDI events in `events`.
    static constexpr int32_t kEventCount = 512;
    // The byte size written into every event: the record's size after `type` and `byteSize`.
    static constexpr int32_t kEventByteSize = 24;
    // Capacity the effect assumes for an identifier buffer when it is given 0.
    static constexpr intptr_t kDefaultParameterIdCapacity = 32;
    // Bytes of every buffer an effect writes a parameter name into: effects write far more than
    // the nominal 8 characters, and 256 is what hosts give.
    static constexpr size_t kParameterNameBufferSize = 256;
    // The most parameters of an effect that the module mirrors, or walks for a display update.
    // An effect declaring more has the rest ignored: numParams is the effect's word, and 2^31 - 1
    // parameters would exhaust the host's memory.
    static constexpr int32_t kMaxParameters = 4096;
    // [any] How many of the parameters an effect declares the module takes part in.
    static constexpr int32_t BoundedParameterCount(int32_t declared) {
        return declared < kMaxParameters ? declared : kMaxParameters;
    }
    // Every audio call gets at least this many channel entries per side.
    static constexpr int32_t kMinChannelEntries = 2;
    // The most channel entries per side that SizeChannelArrays makes room for. An effect that
    // declares more gets no audio call at all rather than arrays shorter than it reads.
    static constexpr int32_t kMaxChannelEntries = 1024;
    // The most channel entries per side kept inside the object (no allocation of their own, in
    // the cache line beside the fields the processing reads).
    static constexpr int32_t kInlineChannelEntries = 3;
    // The most frames the effect is handed in one audio call: sent with effSetBlockSize before
    // the effect is resumed and answered to audioMasterGetBlockSize. Real hosts' buffers stay
    // well within it (an offline bounce included); a longer host buffer is processed as
    // consecutive sub-blocks of at most this many frames, so the effect never sees more frames
    // than it was told and may size its own buffers from it.
    static constexpr int32_t kMaxBlockFrames = 4096;
    // The most bytes, terminator included, kept of the reason an effect that throws on the audio
    // thread gives (its exception's text) until the main thread writes the line.
    static constexpr size_t kFailureReasonBytes = 512;

    // [main] Allocates and preformats `events`; open, with no effect and no callback yet.
    VstInterface();
    // [main] Clears isOpen, closes the effect (effClose, not gated, sent even to an effect that
    // failed: it must still stop its threads and free itself) if one is held, frees `events`
    // and forgets the effect.
    virtual ~VstInterface();
    VstInterface(const VstInterface&) = delete;
    VstInterface& operator=(const VstInterface&) = delete;

    // Fields, in this order.
    vst2::VstMidiEvent* events;  // owned, kEventCount entries: type 1, byteSize 24, rest zero
    VstCallBack* callBack;       // not owned
    vst2::AEffect* effect;       // not owned: the effect frees itself on effClose
    int32_t isOpen;              // 1 from construction, 0 from the start of destruction

private:
    std::atomic<bool> failed_{false};  // read with isOpen at every gated call

public:
    vst2::ERect* editorRect;     // owned by the effect; filled by effEditGetRect
    // The channel entries handed to the effect's audio calls, one array per side, each sized by
    // SizeChannelArrays (kMinChannelEntries until then): kept inside this object for up to
    // kInlineChannelEntries, on the heap beyond. Entries 0 and 1 are the host's, filled by
    // FillChannelArrays for every call; every further entry is a scratch buffer (see
    // SizeChannelArrays).
    float** inputEntries;
    float** outputEntries;
    int32_t inputEntryCount;
    int32_t outputEntryCount;

    // [any] The gate: true while an effect is held, the instance is open and the effect has not
    // failed.
    bool IsCallable() const noexcept { return effect != nullptr && isOpen != 0 && !HasFailed(); }
    // [any] True once the effect has thrown from one of its entry points.
    bool HasFailed() const noexcept { return failed_.load(std::memory_order_relaxed); }

    // [any] Calls the effect's dispatcher without the gate. Answers 0 for a null effect or a
    // null dispatcher, and 0 when the effect throws. With an owner, an effect that throws counts
    // as the owner's failed effect, and an owner whose effect has failed makes no call at all.
    // Used by the host callback, which answers the effect that called it.
    static intptr_t DispatchUngated(vst2::AEffect* target, int32_t opcode, int32_t index, intptr_t value,
                                    void* ptr, float opt, VstInterface* owner = nullptr) noexcept {
        if (target == nullptr || target->dispatcher == nullptr) return 0;
        if (owner != nullptr && owner->HasFailed()) return 0;
        return CatchEffect(owner, EffectCallName(opcode), intptr_t{0},
                           [&] { return target->dispatcher(target, opcode, index, value, ptr, opt); });
    }

    // [any] Runs call(), one call into the effect. What it throws is caught: the result is then
    // the fallback, the owner's effect (if an owner is given) counts as failed, and the platform
    // log gets one line naming callName (once per owner). Allocates nothing of its own.
    template <typename Result, typename Call>
    static Result CatchEffect(VstInterface* owner, const char* callName, Result fallback, Call&& call) noexcept {
        try {
            return call();
        } catch (const std::exception& thrown) {
            ReportEffectFailure(owner, callName, thrown.what());
        } catch (...) {
            ReportEffectFailure(owner, callName, nullptr);
        }
        return fallback;
    }
    // [audio] CatchEffect for calls on the audio thread: what the effect throws is recorded for
    // the owner (RecordAudioFailure) and written from the main thread; nothing is formatted
    // here. The call is named by its text, or by its dispatcher opcode (named only if it
    // throws). Without an owner there is no instance to fail: the call just answers the
    // fallback.
    template <typename Name, typename Result, typename Call>
    static Result CatchEffectOnAudioThread(VstInterface* owner, Name callName, Result fallback, Call&& call) noexcept {
        try {
            return call();
        } catch (const std::exception& thrown) {
            if (owner != nullptr) owner->RecordAudioFailure(CallName(callName), thrown.what());
        } catch (...) {
            if (owner != nullptr) owner->RecordAudioFailure(CallName(callName), nullptr);
        }
        return fallback;
    }
    // [audio] DispatchUngated for the audio thread (see CatchEffectOnAudioThread).
    static intptr_t DispatchUngatedOnAudioThread(vst2::AEffect* target, int32_t opcode, int32_t index, intptr_t value,
                                                 void* ptr, float opt, VstInterface* owner) noexcept {
        if (target == nullptr || target->dispatcher == nullptr) return 0;
        if (owner != nullptr && owner->HasFailed()) return 0;
        return CatchEffectOnAudioThread(owner, opcode, intptr_t{0},
                                        [&] { return target->dispatcher(target, opcode, index, value, ptr, opt); });
    }
    // [main] Writes the line of a failure that the audio thread recorded, if one waits and no
    // line has been written for this instance yet; once. From the data model's periodic
    // main-thread calls, and at destruction.
    void ReportDeferredFailure() noexcept;
    // [any] The VST 2 name of a dispatcher opcode the module sends ("dispatcher" for any other).
    static const char* EffectCallName(int32_t opcode) noexcept;

    // Dispatcher rows. Each is gated; a skipped call returns the fallback where there is one.

    // [main] effOpen.
    void Open() noexcept;
    // [main] effGetParamName into buffer, which holds kParameterNameBufferSize bytes. The first
    // byte is cleared before the call, so an effect that writes nothing leaves empty text, and
    // the last one after it, so the text is always terminated. A null buffer sends nothing.
    void GetParamName(int32_t index, char* buffer) noexcept;
    // [main] effSetSampleRate with the rate as opt.
    void SetSampleRate(float sampleRate) noexcept;
    // [main] effSetBlockSize with the most frames an audio call will have (kMaxBlockFrames).
    void SetBlockSize(int32_t maxFrames) noexcept;
    // [main] effMainsChanged (1 resumes).
    void MainsChanged(intptr_t value) noexcept;
    // [main] effEditGetRect with the address of editorRect. editorRect is cleared first, so an
    // effect that answers without a rectangle leaves none (never the previous one, which the
    // effect may have freed).
    void EditGetRect() noexcept;
    // [main] effEditOpen with the native parent window.
    void EditOpen(void* parentWindow) noexcept;
    // [main] effEditClose.
    void EditClose() noexcept;
    // [main] effEditIdle.
    void EditIdle() noexcept;
    // [main] effGetChunk: the effect points *data at its chunk; returns the byte size, or the
    // fallback when skipped.
    intptr_t GetChunk(void** data, intptr_t fallback) noexcept;
    // [main] effSetChunk with the chunk's size and bytes.
    void SetChunk(intptr_t size, void* data) noexcept;
    // [audio] effProcessEvents. Allocates nothing, locks nothing, formats nothing.
    void ProcessEvents(vst2::VstEvents* eventList) noexcept {
        if (!IsCallable() || effect->dispatcher == nullptr) return;
        vst2::AEffect* const target = effect;
        CatchEffectOnAudioThread(this, vst2::effProcessEvents, intptr_t{0}, [&] {
            return target->dispatcher(target, vst2::effProcessEvents, 0, 0, eventList, 0.0f);
        });
    }
    // [main] effCanBeAutomated; 0 means the parameter is not mirrored.
    intptr_t CanBeAutomated(int32_t index, intptr_t fallback) noexcept;
    // [main] effSetBypass with value 1 (on) or 0. The state is kept for Bypassed even when the
    // call is skipped.
    void SetBypass(bool bypass) noexcept;
    // [main] effGetParameterProperties into properties (a full 152-byte record).
    intptr_t GetParameterProperties(int32_t index, vst2::VstParameterProperties* properties,
                                    intptr_t fallback) noexcept;
    // [main] effEditKeyDown.
    void EditKeyDown(int32_t index, intptr_t value) noexcept;
    // [main] The private editor redraw (-1): null redraws the whole editor.
    void EditorRedraw(vst2::ERect* rect) noexcept;
    // [main] The private get-parameter-identifier request (-14) with capacity as value. The
    // buffer must hold `capacity` bytes (kDefaultParameterIdCapacity when capacity is 0); they
    // are zeroed before the call, so an effect that writes nothing leaves empty text. A null
    // buffer or a negative capacity sends nothing.
    void GetParameterId(int32_t index, char* buffer, intptr_t capacity) noexcept;
    // [main] The private find-parameter-index request (-15): the index with that identifier,
    // or a negative value; the fallback when skipped.
    intptr_t FindParameterIndex(const char* id, intptr_t fallback) noexcept;
    // [main] The private pre-open notice (-16) with opt 1.0.
    void PreOpenNotice() noexcept;

    // Other entry points of the effect, gated the same way.

    // [main] setParameter.
    void SetParameter(int32_t index, float value) noexcept;
    // [main] getParameter, or the fallback.
    float GetParameter(int32_t index, float fallback) noexcept;

    // Channel layout. The arrays, the scratch buffers and the counts they were made for (the
    // layout) change only on the main thread while the audio thread keeps away from them, which
    // a gate of three states arranges without a lock:
    //   current:   the audio thread may call the effect while it declares the layout's counts;
    //   stopped:   the audio thread has seen the effect declare other counts (whether or not it
    //              said so with audioMasterIOChanged) and makes no audio call until the layout
    //              is made again (the outputs get silence instead);
    //   resizing:  the main thread is making it (TakeUpChannelChange).
    // Only the audio thread moves the gate to stopped, between its calls, and only
    // TakeUpChannelChange moves it on from there, so the layout is never remade while an audio
    // call uses it, and the audio thread calls the effect only once it has been made.

    // [main] Makes the layout for the counts the effect declares now (numInputs, numOutputs):
    // each array at least kMinChannelEntries and at most kMaxChannelEntries long, its entries
    // past the first two pointing at scratch buffers of kMaxBlockFrames frames (one of silence
    // for the inputs, one that takes what the effect writes for the outputs), and, for an effect
    // driven through the old accumulating `process` (it has no processReplacing, or does not
    // declare effFlagsCanReplacing and has a `process`; see ProcessAudio), room to copy the
    // host's input when it shares memory with an output. The gate becomes current. A count
    // beyond the limit, or no memory, leaves the layout as it was: its counts then differ from
    // the effect's and the audio thread keeps the effect silent. Only while no audio call can
    // run: from EffectInit, and from TakeUpChannelChange.
    void SizeChannelArrays() noexcept;
    // [main] Makes the layout again once the audio thread has stopped for a change of the
    // effect's counts; does nothing otherwise. From the data model's periodic main-thread calls,
    // so that a change is taken up between buffers. Allocates (here, not on the audio path).
    void TakeUpChannelChange() noexcept;
    // [audio] Whether the effect may be called now with the layout: the gate is current and the
    // effect still declares the layout's counts. Otherwise the audio thread stops (the gate
    // becomes stopped, for TakeUpChannelChange) and false is returned. Called before every
    // audio call and once after a buffer's last one: a change the effect makes in its
    // processing is then taken up before the next buffer. Needs an effect (the record stays
    // readable until the effect is closed, whether or not it can be called). Allocates nothing,
    // locks nothing.
    bool LayoutCurrent() noexcept {
        const uint32_t gate = channelGate_.load(std::memory_order_acquire);
        if (gate != kGateCurrent) return false;
        if (LayoutFitsEffect()) return true;
        channelGate_.store(kGateStopped, std::memory_order_release);
        return false;
    }
    // [audio] (or [main] while no audio call can run) The counts the layout was made for
    // (kMinChannelEntries each until it is first made).
    int32_t LayoutInputs() const noexcept { return layoutCounts_.inputs; }
    int32_t LayoutOutputs() const noexcept { return layoutCounts_.outputs; }

    // [audio] Fills entries 0 and 1 for one audio call over the host's buffers from frame
    // offset on: entry 0 is the host's first channel and entry 1 its second when the host has
    // two or more on that side, else null. With the accumulating `process`, clears the output
    // entries for frames frames first, copying a host input that shares memory with an output
    // aside. False, with nothing filled, when a host array is missing. Needs the layout current.
    // Allocates nothing, locks nothing.
    bool FillChannelArrays(float* const* hostInputs, int32_t hostInputCount, float* const* hostOutputs,
                           int32_t hostOutputCount, int32_t offset, int32_t frames) noexcept {
        if (hostInputs == nullptr || hostOutputs == nullptr) return false;
        float** const inputs = inputEntries;
        float** const outputs = outputEntries;
        inputs[0] = Offset(hostInputs[0], offset);
        inputs[1] = hostInputCount >= 2 ? Offset(hostInputs[1], offset) : nullptr;
        outputs[0] = Offset(hostOutputs[0], offset);
        outputs[1] = hostOutputCount >= 2 ? Offset(hostOutputs[1], offset) : nullptr;
        if (accumulating_) ClearForAccumulation(frames);
        return true;
    }
    // [audio] One audio call over the entries: processReplacing, or the accumulating `process`
    // into outputs FillChannelArrays cleared (see SizeChannelArrays). False when no call was made (none can be, or the effect
    // has no such entry point) or the effect threw: its outputs are then not written.
    // Allocates nothing, locks nothing (unless the effect throws).
    bool ProcessAudio(int32_t frames) noexcept {
        if (!IsCallable()) return false;
        vst2::AEffect* const target = effect;
        const vst2::ProcessProc process = accumulating_ ? target->process : target->processReplacing;
        if (process == nullptr) return false;
        float** const inputs = inputEntries;
        float** const outputs = outputEntries;
        return CatchEffectOnAudioThread(this, accumulating_ ? "process" : "processReplacing", false, [&] {
            process(target, inputs, outputs, frames);
            return true;
        });
    }
    // [audio] processReplacing on arrays of the caller's. Allocates nothing, locks nothing
    // (unless the effect throws).
    void ProcessReplacing(float** inputs, float** outputs, int32_t frames) noexcept {
        if (!IsCallable() || effect->processReplacing == nullptr) return;
        vst2::AEffect* const target = effect;
        CatchEffectOnAudioThread(this, "processReplacing", 0, [&] {
            target->processReplacing(target, inputs, outputs, frames);
            return 0;
        });
    }
    // [any] Whether the master bypass is on, as last handed to SetBypass (also when the effect
    // could not be told): audio the effect does not process is then the dry input.
    bool Bypassed() const noexcept { return bypassed_.load(std::memory_order_relaxed); }

    // [main] Sends effEditGetRect (with the address of editorRect) and then effEditOpen with the
    // parent window, each gated.
    void OpenEditor(void* parentWindow) noexcept;

    // [any] The effect's numParams, or the fallback when no call can be made.
    int32_t NumParams(int32_t fallback) const noexcept;
    // [any] The effect's uniqueID, or the fallback.
    int32_t UniqueId(int32_t fallback) const noexcept;

private:
    // The gate's states (see the channel layout above).
    static constexpr uint32_t kGateCurrent = 0;
    static constexpr uint32_t kGateStopped = 1;
    static constexpr uint32_t kGateResizing = 2;

    static float* Offset(float* channel, int32_t offset) noexcept {
        return channel != nullptr ? channel + offset : nullptr;
    }
    // The effect's channel counts, numInputs and numOutputs as its record holds them side by
    // side, compared in one go.
    struct ChannelCounts {
        int32_t inputs;
        int32_t outputs;
    };
    static ChannelCounts EffectCounts(const vst2::AEffect& target) noexcept {
        ChannelCounts counts;
        std::memcpy(&counts, &target.numInputs, sizeof counts);
        return counts;
    }
    // [audio] Whether the effect declares the counts the layout was made for.
    bool LayoutFitsEffect() const noexcept {
        uint64_t declared;
        uint64_t made;
        const ChannelCounts counts = EffectCounts(*effect);
        std::memcpy(&declared, &counts, sizeof declared);
        std::memcpy(&made, &layoutCounts_, sizeof made);
        return declared == made;
    }
    // [audio] Clears the output entries for frames frames before an accumulating call; a host
    // input entry in the same memory as an output is copied to scratch first and the entry
    // moved there.
    void ClearForAccumulation(int32_t frames) noexcept;

    // What the processing reads every buffer, right after the fields above: the layout's counts
    // and gate, the bypass, and the inline channel entries.
    ChannelCounts layoutCounts_{kMinChannelEntries, kMinChannelEntries};
    std::atomic<uint32_t> channelGate_{kGateCurrent};
    std::atomic<bool> bypassed_{false};
    bool accumulating_ = false;
    float* inlineInputs_[kInlineChannelEntries] = {};
    float* inlineOutputs_[kInlineChannelEntries] = {};
    // Entry arrays longer than kInlineChannelEntries; null otherwise.
    std::unique_ptr<float*[]> heapInputs_;
    std::unique_ptr<float*[]> heapOutputs_;
    // The layout's scratch: silence for inputs past the first two, a sink for outputs past the
    // first two, and two copies of host inputs for the accumulating `process`; kMaxBlockFrames
    // frames each, null where not needed.
    std::unique_ptr<float[]> scratch_;
    float* silentInput_ = nullptr;
    float* discardedOutput_ = nullptr;
    float* inputCopies_[2] = {nullptr, nullptr};

    // The one gated dispatcher path.
    intptr_t Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt,
                      intptr_t fallback) noexcept {
        if (!IsCallable() || effect->dispatcher == nullptr) return fallback;
        vst2::AEffect* const target = effect;
        return CatchEffect(this, EffectCallName(opcode), fallback,
                           [&] { return target->dispatcher(target, opcode, index, value, ptr, opt); });
    }
    // [any] Shuts the owner's gate for good and writes the one log line (the first time only);
    // without an owner, just the line.
    static void ReportEffectFailure(VstInterface* owner, const char* callName, const char* reason) noexcept;
    // [audio] Shuts the gate for good, keeps the call's name and (a copy of) the reason for
    // ReportDeferredFailure, unless the effect has failed already. Plain stores only: no lock,
    // no locked instruction, no formatting.
    void RecordAudioFailure(const char* callName, const char* reason) noexcept;
    // [any] Writes the failure line itself.
    static void WriteFailureLine(const char* callName, const char* reason) noexcept;
    static const char* CallName(const char* name) noexcept { return name; }
    static const char* CallName(int32_t opcode) noexcept { return EffectCallName(opcode); }

    // A failure the audio thread recorded: written by that thread alone, before it sets
    // failurePending_ (release); read by the main thread after it sees it set (acquire).
    // failureLineWritten_ makes the instance's line a single one, whichever thread writes it.
    std::atomic<bool> failurePending_{false};
    std::atomic<bool> failureLineWritten_{false};
    bool audioFailureHasReason_ = false;
    const char* audioFailureCall_ = nullptr;
    char audioFailureReason_[kFailureReasonBytes] = {};
};
static_assert(VstInterface::kMinChannelEntries >= 2, "FillChannelArrays writes two entries per side");
static_assert(VstInterface::kInlineChannelEntries >= VstInterface::kMinChannelEntries,
              "the smallest layout needs no allocation");
static_assert(offsetof(vst2::AEffect, numOutputs) == offsetof(vst2::AEffect, numInputs) + sizeof(int32_t),
              "the channel counts are read side by side");
