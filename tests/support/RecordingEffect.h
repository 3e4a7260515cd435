// An in-process VST 2 effect for tests. Its dispatcher, setParameter, getParameter and
// processReplacing record every call, in order, with its arguments (and copies of what ptr
// carries where the effect would read it: identifiers, event lists, rectangles, chunks). Its
// answers are configurable per opcode and per parameter index, and it can be scripted to call
// the host callback: during the entry point, on a given opcode, or inside processReplacing.
//
// Recording into storage reserved with ReserveRecords allocates nothing in processReplacing and
// effProcessEvents, so the effect can stand in during allocation-counting tests. Not thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "interfaces/vst2.h"

namespace testsupport {

struct RecordedCall {
    enum class Kind { Dispatcher, SetParameter, GetParameter, ProcessReplacing, Process };
    static constexpr int kMaxCopiedEvents = 4;

    Kind kind = Kind::Dispatcher;
    int32_t opcode = 0;     // dispatcher only
    int32_t index = 0;      // dispatcher, setParameter, getParameter
    intptr_t value = 0;     // dispatcher
    void* ptr = nullptr;    // dispatcher: as passed
    float opt = 0.0f;       // dispatcher opt; setParameter's value
    std::string text;       // -15: the identifier passed
    std::vector<uint8_t> bytes;  // effSetChunk: the chunk passed
    bool hasRect = false;   // -1: a rectangle was passed (copied into rect)
    vst2::ERect rect{};
    int32_t numEvents = 0;  // effProcessEvents: the list's count and up to four events
    intptr_t eventsReserved = 0;
    vst2::VstMidiEvent events[kMaxCopiedEvents]{};
    float** inputs = nullptr;   // processReplacing and process
    float** outputs = nullptr;
    int32_t frames = 0;
    int32_t numOutputs = 0;     // the outputs the effect declared for the call
};

// One call that the effect makes to its host, and what it got back.
struct HostRequest {
    int32_t opcode = 0;
    int32_t index = 0;
    intptr_t value = 0;
    void* ptr = nullptr;
    float opt = 0.0f;
};

struct HostReply {
    HostRequest request;
    intptr_t result = 0;
    bool hasTime = false;          // audioMasterGetTime returned a record (copied into time)
    vst2::VstTimeInfo time{};
};

class RecordingEffect {
public:
    RecordingEffect();
    RecordingEffect(const RecordingEffect&) = delete;
    RecordingEffect& operator=(const RecordingEffect&) = delete;

    // The effect record; its `object` points back at this.
    vst2::AEffect* effect() { return &effect_; }
    static RecordingEffect* From(vst2::AEffect* effect);

    // --- Configuration ---------------------------------------------------------------------
    void SetNumParams(int32_t count) { effect_.numParams = count; }
    void SetUniqueId(int32_t id) { effect_.uniqueID = id; }
    // -14 writes this identifier (within the capacity given; 0 means 32); an index without one
    // makes -14 write nothing. -15 answers the first index whose identifier matches, else -1.
    void SetParameterId(int32_t index, const std::string& id) { ids_[index] = id; }
    // effGetParamName writes this name into the first 256 bytes, unterminated when it fills them;
    // nothing when unset.
    void SetParameterName(int32_t index, const std::string& name) { names_[index] = name; }
    // effGetParameterProperties copies this record and answers 1; unset indices answer 0 and
    // write nothing.
    void SetParameterProperties(int32_t index, const vst2::VstParameterProperties& properties) {
        properties_[index] = properties;
    }
    // effCanBeAutomated answers 1 unless set to false for the index.
    void SetCanBeAutomated(int32_t index, bool automatable) { automatable_[index] = automatable; }
    // getParameter answers the stored value (0 by default); setParameter stores it.
    void SetParameterValue(int32_t index, float value) { values_[index] = value; }
    float ParameterValue(int32_t index) const;
    // effGetChunk points at these bytes and answers their size.
    void SetChunk(const std::vector<uint8_t>& chunk) { chunk_ = chunk; }
    // effEditGetRect stores the address of this rectangle and answers 1; without one it writes
    // nothing and answers 0.
    void SetEditorRect(const vst2::ERect& rect) { rect_ = rect; }
    void ClearEditorRect() { rect_.reset(); }
    // Overrides the answer of one dispatcher opcode (side effects such as writing the identifier
    // still happen).
    void SetAnswer(int32_t opcode, intptr_t answer) { answers_[opcode] = answer; }
    // processReplacing writes every output channel it declares (and is given): the matching
    // input channel multiplied by this gain (1 by default), silence where there is no input.
    void SetProcessGain(float gain) { gain_ = gain; }
    // Offers only the old accumulating `process` (no processReplacing, no effFlagsCanReplacing),
    // which adds what processReplacing would write to the outputs.
    void UseAccumulatingProcessOnly();
    // At the given audio call (counted from 1), after recording it, the effect declares these
    // channel counts (from its next call on) and, when announce is set, says so with
    // audioMasterIOChanged, as latency-changing effects do from their processing.
    void ChangeChannelsAt(int32_t call, int32_t inputs, int32_t outputs, bool announce) {
        channelChange_ = {call, inputs, outputs, announce};
    }

    // --- Host side ---------------------------------------------------------------------------
    // Connects the effect to a host callback and makes the calls scripted with OnMain, as an
    // entry point does before returning the effect. Returns effect().
    vst2::AEffect* AttachHost(vst2::AudioMasterCallback hostCallback);
    vst2::AudioMasterCallback HostCallback() const { return host_; }
    // Calls the host callback now (0 when none is attached) and records the reply.
    intptr_t CallHost(const HostRequest& request);
    // Scripts a host call made during AttachHost.
    void OnMain(const HostRequest& request) { onMain_.push_back(request); }
    // Scripts a host call made whenever the dispatcher receives opcode (after recording it,
    // before answering).
    void OnOpcode(int32_t opcode, const HostRequest& request) { onOpcode_.push_back({opcode, request}); }
    // Scripts a host call made inside every processReplacing, before the audio is written.
    void OnProcess(const HostRequest& request) { onProcess_.push_back(request); }
    // Scripts a host call made inside every setParameter (after storing the value) with the value
    // given, for the parameter `offset` indices on (modulo numParams; 0: its own, as an effect
    // reporting every change; 1: the next, as one whose controls are linked).
    void OnSetParameter(int32_t opcode, int32_t offset = 0) { onSetParameter_.push_back({opcode, offset}); }
    // Holds those calls until FlushReports, which makes them and returns how many it made.
    void DeferReports() { deferReports_ = true; }
    size_t FlushReports();

    // --- What happened -------------------------------------------------------------------------
    std::vector<RecordedCall> calls;
    std::vector<HostReply> hostReplies;
    std::vector<uint8_t> receivedChunk;  // the last effSetChunk's bytes

    void ReserveRecords(size_t count);
    void ClearRecords();
    // The dispatcher opcodes received, in order.
    std::vector<int32_t> Opcodes() const;
    // The dispatcher calls with this opcode, in order.
    std::vector<RecordedCall> CallsWithOpcode(int32_t opcode) const;
    size_t CountOpcode(int32_t opcode) const;
    size_t CountKind(RecordedCall::Kind kind) const;

private:
    static intptr_t DispatcherEntry(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                    void* ptr, float opt);
    static void SetParameterEntry(vst2::AEffect* effect, int32_t index, float value);
    static float GetParameterEntry(vst2::AEffect* effect, int32_t index);
    static void ProcessReplacingEntry(vst2::AEffect* effect, float** inputs, float** outputs, int32_t frames);
    static void AccumulatingEntry(vst2::AEffect* effect, float** inputs, float** outputs, int32_t frames);

    intptr_t Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
    intptr_t DefaultAnswer(int32_t opcode, int32_t index, intptr_t value, void* ptr);
    void Process(float** inputs, float** outputs, int32_t frames, bool accumulate);

    vst2::AEffect effect_{};
    vst2::AudioMasterCallback host_ = nullptr;
    std::map<int32_t, std::string> ids_;
    std::map<int32_t, std::string> names_;
    std::map<int32_t, vst2::VstParameterProperties> properties_;
    std::map<int32_t, bool> automatable_;
    std::map<int32_t, float> values_;
    std::map<int32_t, intptr_t> answers_;
    std::vector<uint8_t> chunk_;
    std::optional<vst2::ERect> rect_;
    vst2::ERect rectStorage_{};
    float gain_ = 1.0f;
    struct {
        int32_t call = 0, inputs = 0, outputs = 0;
        bool announce = false;
    } channelChange_;
    int32_t audioCalls_ = 0;
    std::vector<HostRequest> onMain_;
    std::vector<std::pair<int32_t, HostRequest>> onOpcode_;
    std::vector<HostRequest> onProcess_;
    std::vector<std::pair<int32_t, int32_t>> onSetParameter_;  // opcode, index offset
    bool deferReports_ = false;
    std::vector<HostRequest> heldReports_;
};

}  // namespace testsupport

using testsupport::HostReply;
using testsupport::HostRequest;
using testsupport::RecordedCall;
using testsupport::RecordingEffect;
