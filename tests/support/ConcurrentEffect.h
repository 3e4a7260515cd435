// An in-process VST 2 effect that several threads may call at once, for the suites that also run
// under ThreadSanitizer: everything it keeps is atomic, so a race the sanitizer reports lies
// outside it. Its parameters answer the identifiers "P0" to "P3" and the names "Param 0" to
// "Param 3"; its chunk holds their values. Every processReplacing copies its input to its output,
// asks the host for the time and then reports automation of its next parameter (round robin) with
// a value new to it, as an effect whose audio thread follows an envelope does.
//
// It can also misbehave as real effects do: run a thread of its own from effOpen to effClose
// that keeps calling the host (automation, time, rate, display updates), and throw from any of
// its entry points. The test VST 2 library serves one configured from the environment
// (ConfigureFromText), so that a host in another process meets it too.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "interfaces/vst2.h"

namespace testsupport {

class ConcurrentEffect {
public:
    static constexpr int32_t kParameters = 4;

    // Where the effect throws. For kDispatcher, the opcode names the call.
    enum class Entry { kNone, kMain, kDispatcher, kProcessReplacing, kSetParameter, kGetParameter };

    ConcurrentEffect();
    // Stops the effect's own thread if effClose has not.
    ~ConcurrentEffect();
    ConcurrentEffect(const ConcurrentEffect&) = delete;
    ConcurrentEffect& operator=(const ConcurrentEffect&) = delete;

    // Connects the effect to a host callback, as an entry point does, and returns it. Throws
    // when told to throw from main.
    vst2::AEffect* AttachHost(vst2::AudioMasterCallback hostCallback);
    // Calls the host from the calling thread; 0 when none is attached.
    intptr_t CallHost(int32_t opcode, int32_t index = 0, float opt = 0.0f);

    // From the next effOpen, runs a thread of its own until effClose: round after round it
    // reports a gesture (begin, automate, end) on its next parameter, asks for the time and the
    // rate and asks for a display update.
    void RunOwnThreadWhileOpen() { runOwnThread_ = true; }
    // Every call of the entry point (of the dispatcher opcode) throws a std::runtime_error.
    void ThrowFrom(Entry entry, int32_t opcode = 0) {
        throwOpcode_ = opcode;
        throwFrom_ = entry;
    }
    // Every fourth processReplacing switches between two and four channels a side and says so
    // (audioMasterIOChanged), as an effect whose layout follows a setting does. It writes every
    // output it declares.
    void ChangeChannelsWhileProcessing() { changeChannels_ = true; }
    // effClose deletes the effect (one a library's entry point made with new).
    void DeleteOnClose() { deleteOnClose_ = true; }
    // Applies a setting in the form the test library reads from its environment: "thread",
    // "channels" (ChangeChannelsWhileProcessing), or "throw:" followed by "main", "processReplacing", "setParameter", "getParameter" or a
    // dispatcher opcode number. False for anything else.
    bool ConfigureFromText(const char* text);

    std::atomic<int64_t> setParameterCalls{0};
    std::atomic<int64_t> processCalls{0};  // one automation reported in each
    std::atomic<int64_t> channelChanges{0};
    std::atomic<int64_t> sampleRatesReceived{0};
    std::atomic<double> lastTimeSampleRate{0.0};  // from the last time record processing read
    std::atomic<int64_t> ownThreadRounds{0};
    std::atomic<int64_t> throws{0};
    // Calls into the effect after it first threw, effClose left out: a host that treats the
    // effect as failed makes none.
    std::atomic<int64_t> callsAfterThrow{0};
    std::atomic<int64_t> closeCalls{0};
    // The time record processReplacing was given, compared at the end of the call: how often it
    // had changed meanwhile (another thread's request rewriting it, say).
    std::atomic<int64_t> timeRecordChangedWhileProcessing{0};
    // MIDI event lists received inside processReplacing (from its time requests) and elsewhere.
    std::atomic<int64_t> eventsWhileProcessing{0};
    std::atomic<int64_t> eventsElsewhere{0};

    // The entry points' work, for the static functions the effect record points at.
    intptr_t Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr);
    void Process(float** inputs, float** outputs, int32_t frames);
    void SetParameter(int32_t index, float value);
    float GetParameter(int32_t index);

private:
    // Counts a call and throws when this is the entry point to throw from.
    void Enter(Entry entry, int32_t opcode = 0);
    void StartOwnThread();
    void StopOwnThread();
    void OwnThreadRounds();

    vst2::AEffect effect_{};
    std::atomic<vst2::AudioMasterCallback> host_{nullptr};
    std::atomic<bool> runOwnThread_{false};
    std::atomic<Entry> throwFrom_{Entry::kNone};
    std::atomic<int32_t> throwOpcode_{0};
    bool deleteOnClose_ = false;
    std::atomic<bool> changeChannels_{false};
    std::atomic<float> values_[kParameters] = {};
    float chunk_[kParameters] = {};  // what effGetChunk last handed out
    std::mutex threadMutex_;  // starting and stopping the own thread
    std::thread ownThread_;
    std::atomic<bool> stopOwnThread_{false};
};

}  // namespace testsupport

using testsupport::ConcurrentEffect;
