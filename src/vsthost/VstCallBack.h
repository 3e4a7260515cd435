// The host side of one effect instance, as the wrapped VST 2 effect sees it: the static host
// callback handed to the effect's entry point, the transport snapshot behind its time requests,
// the all-notes-off event sent when the transport stops, and the links used to turn the
// effect's parameter gestures into host parameter operations.
#pragma once

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>

#include "interfaces/aax_effect.h"
#include "interfaces/aax_host.h"
#include "interfaces/vst2.h"
#include "platform/platform.h"
#include "vsthost/ThreadMarks.h"

class AAXWrapper_Parameters;
class AAX_CParameterManager;
class AAX_IParameter;
class VstInterface;

class VstCallBack {
public:
    // Answers to the effect's identity queries.
    static constexpr intptr_t kHostVersion = 7;
    static constexpr intptr_t kHostCurrentId = 0x41415348;  // 'AASH'
    static constexpr const char kVendorString[] = "Kelm AAX Wrapper";
    static constexpr size_t kVendorStringBytes = sizeof(kVendorString);  // 17, terminator included
    // Used when no controller is held.
    static constexpr double kDefaultSampleRate = 44100.0;
    static constexpr size_t kParamIdBufferSize = 256;
    static constexpr size_t kStopEventBufferSize = 16384;

    // [main] The snapshot starts stopped at 120 BPM in 4/4 with nothing valid; every link but
    // owner is null.
    explicit VstCallBack(AAXWrapper_Parameters* owner);
    // [main] Frees stopEvent.
    virtual ~VstCallBack();
    VstCallBack(const VstCallBack&) = delete;
    VstCallBack& operator=(const VstCallBack&) = delete;

    // [any] The effect's audioMasterCallback. Answers version, identity, vendor, block size
    // (VstInterface::kMaxBlockFrames) and the channel-change notice (audioMasterIOChanged, 1)
    // itself, also before `user` is set. Forwards automate, time, window size, sample rate and
    // the display and edit notifications to the VstCallBack in the effect's `user` field; 0 when
    // there is none, and 0 for every call a thread makes while it runs an effect's entry point
    // (the record is unfinished then, so not even `user` is read). Every other opcode answers 0.
    // Nothing thrown on the way reaches the effect: the call then answers 0. Time requests from
    // within processing run on the audio thread and allocate nothing, lock nothing.
    static intptr_t HostCallback(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                 void* ptr, float opt) noexcept;

    // [any] Handles one forwarded opcode for the effect that called. Dispatcher calls made here
    // go to that effect without the gate (none once it has failed). audioMasterGetTime is [audio]
    // when the effect asks from within processing: it allocates nothing and locks nothing.
    intptr_t OnHostOpcode(vst2::AEffect* effect, int32_t opcode, int32_t index, void* ptr, float opt);

    // [main] Marks the calling thread as running an effect's entry point for its lifetime: the
    // host callback then answers the effect without reading its record.
    class EntryPointCall {
    public:
        EntryPointCall() noexcept;
        ~EntryPointCall();
        EntryPointCall(const EntryPointCall&) = delete;
        EntryPointCall& operator=(const EntryPointCall&) = delete;

    private:
        ThreadMarks<8>::Scope mark_;
    };

    // [any] Marks, for its lifetime, the effect parameter index that the calling thread is
    // handing to the effect of this VstCallBack (setParameter). A gesture the effect reports for
    // that index from inside the call, on that thread, is the echo of the value it is being
    // given, and is not sent back to the host, which would hand it over again without end.
    // Scopes nest; other threads' gestures go through.
    class ParameterDelivery {
    public:
        ParameterDelivery(VstCallBack& callBack, int32_t index) noexcept : mark_(callBack.deliveries_, index) {}
        ParameterDelivery(const ParameterDelivery&) = delete;
        ParameterDelivery& operator=(const ParameterDelivery&) = delete;

    private:
        ThreadMarks<8>::Scope mark_;
    };

    // [audio] Marks the calling thread as this instance's audio thread, the one that runs its
    // buffers (the latest one, should the host move the instance between threads): the
    // processing callback calls it before its calls into the effect. Time requests from that
    // thread get the audio thread's record and may consume the stop edge; every other thread
    // gets its own. Stores only when the thread changes. Allocates nothing, locks nothing.
    void MarkAudioThread() noexcept {
        const uintptr_t self = platform::CurrentThreadTag();
        if (processingThread_.load(std::memory_order_relaxed) != self) {
            processingThread_.store(self, std::memory_order_relaxed);
        }
    }

    // Changing the links. The links (parameterManager and the parameters it holds, the mirrors,
    // controller, editorGui) are read by the effect's calls from any thread. They change only
    // inside a LinkChange: it waits until no call from another thread is using them and, until it ends,
    // turns such calls away with the answer for "nothing there" (no parameter, no GUI, no rate
    // sent); calls from its own thread (the effect answering the main thread, say) still see
    // them. The audio thread's time requests do not use the links and are never held up.
    // A LinkChange must not start inside one of the effect's calls on the same thread (it would
    // wait for itself); LinkChanges on one thread nest.
    class LinkChange {
    public:
        explicit LinkChange(VstCallBack& callBack) noexcept;
        ~LinkChange();
        LinkChange(const LinkChange&) = delete;
        LinkChange& operator=(const LinkChange&) = delete;

    private:
        VstCallBack& callBack_;
        bool outermost_ = false;
    };

    // [main] Sets `controller` (null for none) and asks it for the rate that time requests
    // report from then on (the default without one, or when it does not answer). The calling
    // thread is taken as the host's main thread from then on, as it is at construction.
    void SetController(AAX_IController* hostController) noexcept;

    // The mirrored parameters: for each effect parameter index, the host parameter that mirrors
    // it (if any) and the value the effect is known to hold, the last one it was handed through
    // setParameter or read back from it. Gestures reach only the parameter mirrored for their
    // index, and a value the effect already holds is not handed to it again: that is where a
    // cycle of linked controls ends.

    // [main] Inside a LinkChange: room for effect parameter indices 0 to count - 1 (at most
    // VstInterface::kMaxParameters), none mirrored, no value known. Throws std::bad_alloc, with
    // the previous mirrors forgotten.
    void PrepareMirrors(int32_t count);
    // [main] Inside a LinkChange: the parameter (owned by the parameter manager) mirrors effect
    // parameter index, whose current value is effectValue. An index outside the room made is
    // ignored.
    void MirrorParameter(int32_t index, AAX_IParameter* parameter, float effectValue) noexcept;
    // [main] Inside a LinkChange: forgets every mirror, before the parameters go.
    void ForgetMirrors() noexcept;
    // [any] Whether value is news to effect parameter index, which is about to be handed it:
    // false when the effect already holds exactly that value; otherwise the value is recorded as
    // the one it holds. An index without a mirror record is always news. Lock-free.
    bool TakeDelivery(int32_t index, float value) noexcept;
    // [main] The host's values follow the effect's: reads every mirrored parameter's value from
    // the effect (getParameter) and sets the host parameter where it differs, which tells the
    // host (its automation delegate hears the current value) and sends nothing to the effect. A
    // value that is not a finite number is left alone. Used once a state is restored, and for
    // the effect's display updates.
    void ReadBackValues() noexcept;
    // [main] Runs the read-back that a display update from another thread asked for, if one is
    // waiting: the host's parameters are set only on its main thread. One atomic load when
    // nothing waits.
    void ServeDeferredReadBack() noexcept;
    // [main] Releases every gesture the effect began and has not ended (an editor closed in the
    // middle of a drag): the host is not left with a parameter touched for ever. An end edit the
    // effect reports later for one of them is not passed on.
    void ReleaseOpenGestures() noexcept;
    // [main] Registers the GUI that display updates reach (replacing any other).
    void RegisterGui(AAX_IACFEffectGUI* gui) noexcept;
    // [main] Withdraws the GUI if it is the one registered. Once this returns, no display update
    // reaches it.
    void UnregisterGui(const AAX_IACFEffectGUI* gui) noexcept;
    // [audio] Moves the snapshot on by frames, for the next sub-block of a host buffer that
    // the effect gets in parts: the sample position, and (while playing with a known tempo) the
    // musical position at the tempo and the controller's rate; then publishes it. Allocates
    // nothing, locks nothing.
    void AdvanceSnapshot(int32_t frames) noexcept;
    // [audio] Publishes the snapshot just taken for time requests from other threads, once one
    // has asked (until then nobody reads it, and the audio thread is spared the stores).
    // Allocates nothing, locks nothing.
    void PublishSnapshot() noexcept {
        if (publishWanted_.load(std::memory_order_relaxed)) Publish();
    }

private:
    // What the audio thread reads besides the snapshot, kept in the snapshot's cache line: the
    // thread that runs this instance's buffers (0 before the first), whether another thread has
    // asked for the time, and the rate time requests report (asked when the controller is set
    // and on every sample-rate request from the effect, so that a time request reads one value).
    std::atomic<uintptr_t> processingThread_{0};
    std::atomic<bool> publishWanted_{false};
    std::atomic<float> controllerRate_{static_cast<float>(kDefaultSampleRate)};

public:
    // Fields, in this order. The snapshot (wasPlaying to positionValid) belongs to the audio
    // thread: the processing callback writes it and that thread's time requests read it; other
    // threads see the copy PublishSnapshot makes.
    int32_t wasPlaying;  // the play state seen at the audio thread's previous time request
    int32_t isPlaying;
    double tempo;  // beats per minute
    int32_t timeSigNumerator;
    int32_t timeSigDenominator;
    double ppqPosition;  // quarter notes
    double ppqOffset;    // latched when the transport starts
    int32_t samplePosition;
    int32_t tempoValid;
    int32_t timeSigValid;
    int32_t positionValid;
    AAX_IACFEffectGUI* editorGui;            // the registered GUI, or null; see LinkChange
    vst2::VstTimeInfo timeInfo;              // the audio thread's record, rewritten by each of its requests
    AAX_CParameterManager* parameterManager; // the data model's, or null before it is set; see LinkChange
    AAXWrapper_Parameters* owner;
    AAX_IController* controller;             // null until effect initialisation; see LinkChange
    std::unique_ptr<uint8_t[]> stopEvent;    // kStopEventBufferSize bytes; the head holds one event
    VstInterface* vstInterface = nullptr;    // the instance's, not owned: whose effect failure counts
    // The record for time requests from any thread but the audio thread, built from the snapshot
    // of the last buffer. Shared by those threads, rewritten by each of their requests. The very
    // first such request of an instance gets the snapshot as constructed (nothing valid but the
    // rate): publishing starts with the buffer after it.
    vst2::VstTimeInfo otherTimeInfo{};

private:
    // [any] A forwarded call's use of the links, for its lifetime: Usable() is false while a
    // LinkChange runs on another thread, and the call must then leave the links alone.
    class LinkUse {
    public:
        explicit LinkUse(VstCallBack& callBack) noexcept;
        ~LinkUse();
        LinkUse(const LinkUse&) = delete;
        LinkUse& operator=(const LinkUse&) = delete;
        bool Usable() const { return usable_; }

    private:
        VstCallBack& callBack_;
        bool usable_;
    };

    // [any] Fills timeInfo (on the audio thread) or otherTimeInfo (elsewhere) and returns it.
    intptr_t AnswerTimeRequest(vst2::AEffect* effect, float opt);
    // [any] Whether the calling thread is this instance's audio thread (see MarkAudioThread).
    bool OnAudioThread() const noexcept {
        return processingThread_.load(std::memory_order_relaxed) == platform::CurrentThreadTag();
    }
    // [audio] The audio thread's answer: from the snapshot, with the stop edge and its
    // all-notes-off. Allocates nothing, locks nothing, clears no block.
    intptr_t AnswerAudioTimeRequest(vst2::AEffect* effect, float opt) noexcept;
    // [audio] Sends the effect the all-notes-off of a transport stop (effProcessEvents, one event).
    void SendStopEvent(vst2::AEffect* effect, float opt) noexcept;
    // [any] Another thread's answer: from the published snapshot, no stop edge.
    intptr_t AnswerOtherTimeRequest();
    // [audio] Copies the snapshot into published_.
    void Publish() noexcept;
    // [audio] The VstTimeInfo flags the snapshot's values are valid for: the tempo and meter when
    // the host gave them, the position only while playing.
    int32_t SnapshotFlags() const noexcept {
        int32_t flags = tempoValid != 0 ? vst2::kVstTempoValid : 0;
        if (isPlaying != 0) flags |= vst2::kVstTransportPlaying | (positionValid != 0 ? vst2::kVstPpqPosValid : 0);
        if (timeSigValid != 0) flags |= vst2::kVstTimeSigValid;
        return flags;
    }
    // [any] Sends effSetSampleRate with the controller's rate (or the default) to the effect.
    intptr_t AnswerSampleRateRequest(vst2::AEffect* effect);
    // [any] Turns automate, begin-edit and end-edit into the operations of the host parameter
    // mirrored for that index, when the identifier the effect gives for it names that parameter.
    // An automate with the value the parameter already has asks the host for nothing, and an end
    // edit without a begin edit still open releases nothing. The effect may report them from any
    // thread, its audio thread included.
    intptr_t HandleParameterGesture(vst2::AEffect* effect, int32_t opcode, int32_t index, float opt);
    // [any] Reads the values back (on the main thread; from any other, at the next main-thread
    // idle call), then asks for the identifier of every parameter (up to
    // VstInterface::kMaxParameters) and tells the registered GUI about each.
    intptr_t HandleDisplayUpdate(vst2::AEffect* effect, float opt);
    // [any] Under a LinkUse: the parameter mirrored for the index, or null.
    AAX_IParameter* MirroredParameter(int32_t index) const noexcept;
    // [any] Asks the effect for the identifier of parameter index into buffer, which the caller
    // owns (kParamIdBufferSize bytes): gestures and display updates may run on different threads
    // at once. The text is always terminated.
    void RequestParameterId(vst2::AEffect* effect, int32_t index, float opt, char* buffer);
    // [any] The controller's rate, or kDefaultSampleRate without one or when it does not answer.
    float AskSampleRate() const;

    // Parameter deliveries under way (index per thread), threads sending the rate, and threads
    // reading the values back (an effect asking for a display update from inside getParameter
    // gets no second read-back).
    ThreadMarks<8> deliveries_;
    ThreadMarks<4> sendingRate_;
    ThreadMarks<4> readingBack_;
    // One per effect parameter index with room made; see LinkChange for the table itself.
    struct Mirror {
        AAX_IParameter* parameter = nullptr;             // not owned; null when not mirrored
        std::atomic<float> held{std::numeric_limits<float>::quiet_NaN()};  // NaN: not known
        std::atomic<int32_t> openGestures{0};  // begin edits passed on and not yet ended
    };
    std::unique_ptr<Mirror[]> mirrors_;
    int32_t mirrorCount_ = 0;
    // The host's main thread (the one that built this object and sets the controller), and
    // whether a display update from another thread is waiting for a read-back there.
    std::atomic<uintptr_t> mainThread_{0};
    std::atomic<bool> readBackWanted_{false};
    // LinkChange and LinkUse: the thread changing the links (0 for none), how deep its changes
    // nest, and the forwarded calls that may be using them.
    std::atomic<uintptr_t> linkChanger_{0};
    int32_t linkChangeDepth_ = 0;  // written only by linkChanger_
    std::atomic<int32_t> linkUsers_{0};
    // The snapshot as of the last buffer, for other threads: a sequence count (odd while the
    // audio thread writes) and the values, each atomic. Flags as in VstTimeInfo.
    struct PublishedSnapshot {
        std::atomic<uint32_t> sequence{0};
        std::atomic<int32_t> flags{0};
        std::atomic<double> tempo{0.0};
        std::atomic<int32_t> timeSigNumerator{0};
        std::atomic<int32_t> timeSigDenominator{0};
        std::atomic<double> ppqPosition{0.0};
        std::atomic<double> samplePosition{0.0};
    } published_;
    std::mutex otherTimeMutex_;  // one other thread at a time fills otherTimeInfo
};
