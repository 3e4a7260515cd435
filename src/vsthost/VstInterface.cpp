#include "vsthost/VstInterface.h"

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <new>

#include "platform/platform.h"

VstInterface::VstInterface()
    : events(nullptr),
      callBack(nullptr),
      effect(nullptr),
      isOpen(1),
      editorRect(nullptr),
      inputEntries(inlineInputs_),
      outputEntries(inlineOutputs_),
      inputEntryCount(kMinChannelEntries),
      outputEntryCount(kMinChannelEntries) {
    // Allocated last: nothing after it can fail and leave it behind.
    events = new vst2::VstMidiEvent[kEventCount]();
    for (int32_t i = 0; i < kEventCount; ++i) {
        events[i].type = vst2::kVstMidiType;
        events[i].byteSize = kEventByteSize;
    }
}

VstInterface::~VstInterface() {
    isOpen = 0;
    // A failure of the audio thread that no periodic call has reported yet is reported now.
    ReportDeferredFailure();
    // Closing is the one call made after the gate has shut, whether or not the effect failed.
    vst2::AEffect* const target = effect;
    if (target != nullptr && target->dispatcher != nullptr) {
        CatchEffect(this, "effClose", intptr_t{0},
                    [&] { return target->dispatcher(target, vst2::effClose, 0, 0, nullptr, 0.0f); });
    }
    delete[] events;
    events = nullptr;
    effect = nullptr;
}

void VstInterface::Open() noexcept { Dispatch(vst2::effOpen, 0, 0, nullptr, 0.0f, 0); }

void VstInterface::GetParamName(int32_t index, char* buffer) noexcept {
    if (buffer == nullptr) return;
    buffer[0] = '\0';
    Dispatch(vst2::effGetParamName, index, 0, buffer, 0.0f, 0);
    buffer[kParameterNameBufferSize - 1] = '\0';
}

void VstInterface::SetSampleRate(float sampleRate) noexcept {
    Dispatch(vst2::effSetSampleRate, 0, 0, nullptr, sampleRate, 0);
}

void VstInterface::SetBlockSize(int32_t maxFrames) noexcept {
    Dispatch(vst2::effSetBlockSize, 0, maxFrames, nullptr, 0.0f, 0);
}

void VstInterface::MainsChanged(intptr_t value) noexcept { Dispatch(vst2::effMainsChanged, 0, value, nullptr, 0.0f, 0); }

void VstInterface::EditGetRect() noexcept {
    editorRect = nullptr;
    Dispatch(vst2::effEditGetRect, 0, 0, &editorRect, 0.0f, 0);
}

void VstInterface::EditOpen(void* parentWindow) noexcept { Dispatch(vst2::effEditOpen, 0, 0, parentWindow, 0.0f, 0); }

void VstInterface::EditClose() noexcept { Dispatch(vst2::effEditClose, 0, 0, nullptr, 0.0f, 0); }

void VstInterface::EditIdle() noexcept { Dispatch(vst2::effEditIdle, 0, 0, nullptr, 0.0f, 0); }

intptr_t VstInterface::GetChunk(void** data, intptr_t fallback) noexcept {
    return Dispatch(vst2::effGetChunk, 0, 0, data, 0.0f, fallback);
}

void VstInterface::SetChunk(intptr_t size, void* data) noexcept { Dispatch(vst2::effSetChunk, 0, size, data, 0.0f, 0); }

intptr_t VstInterface::CanBeAutomated(int32_t index, intptr_t fallback) noexcept {
    return Dispatch(vst2::effCanBeAutomated, index, 0, nullptr, 0.0f, fallback);
}

void VstInterface::SetBypass(bool bypass) noexcept {
    bypassed_.store(bypass, std::memory_order_relaxed);
    Dispatch(vst2::effSetBypass, 0, bypass ? 1 : 0, nullptr, 0.0f, 0);
}

intptr_t VstInterface::GetParameterProperties(int32_t index, vst2::VstParameterProperties* properties,
                                              intptr_t fallback) noexcept {
    return Dispatch(vst2::effGetParameterProperties, index, 0, properties, 0.0f, fallback);
}

void VstInterface::EditKeyDown(int32_t index, intptr_t value) noexcept {
    Dispatch(vst2::effEditKeyDown, index, value, nullptr, 0.0f, 0);
}

void VstInterface::EditorRedraw(vst2::ERect* rect) noexcept { Dispatch(vst2::effPrivateEditorRedraw, 0, 0, rect, 0.0f, 0); }

void VstInterface::GetParameterId(int32_t index, char* buffer, intptr_t capacity) noexcept {
    if (buffer == nullptr || capacity < 0) return;
    std::memset(buffer, 0, static_cast<size_t>(capacity > 0 ? capacity : kDefaultParameterIdCapacity));
    Dispatch(vst2::effPrivateGetParameterId, index, capacity, buffer, 0.0f, 0);
}

intptr_t VstInterface::FindParameterIndex(const char* id, intptr_t fallback) noexcept {
    if (id == nullptr) return fallback;
    // The effect only reads the identifier.
    return Dispatch(vst2::effPrivateFindParameterIndex, 0, 0, const_cast<char*>(id), 0.0f, fallback);
}

void VstInterface::PreOpenNotice() noexcept { Dispatch(vst2::effPrivatePreOpenNotice, 0, 0, nullptr, 1.0f, 0); }

void VstInterface::SetParameter(int32_t index, float value) noexcept {
    if (!IsCallable() || effect->setParameter == nullptr) return;
    vst2::AEffect* const target = effect;
    CatchEffect(this, "setParameter", 0, [&] {
        target->setParameter(target, index, value);
        return 0;
    });
}

float VstInterface::GetParameter(int32_t index, float fallback) noexcept {
    if (!IsCallable() || effect->getParameter == nullptr) return fallback;
    vst2::AEffect* const target = effect;
    return CatchEffect(this, "getParameter", fallback, [&] { return target->getParameter(target, index); });
}

namespace {

// The entry count of a side that declares `declared` channels: at least kMinChannelEntries.
int32_t EntryCount(int32_t declared) { return std::max(declared, VstInterface::kMinChannelEntries); }

// Room for an entry array of count entries beyond the inline ones, or null when none is needed.
// False when it cannot be had.
bool MakeHeapEntries(int32_t count, std::unique_ptr<float*[]>& entries) {
    if (count <= VstInterface::kInlineChannelEntries) return true;
    entries.reset(new (std::nothrow) float*[static_cast<size_t>(count)]);
    return entries != nullptr;
}

// Points the entries from kMinChannelEntries on at scratch; the host's two are filled per call.
float** FillEntries(float** entries, int32_t count, float* scratch) {
    std::fill(entries, entries + VstInterface::kMinChannelEntries, nullptr);
    std::fill(entries + VstInterface::kMinChannelEntries, entries + count, scratch);
    return entries;
}

}  // namespace

void VstInterface::SizeChannelArrays() noexcept {
    if (effect == nullptr) return;
    const int32_t inputs = effect->numInputs;
    const int32_t outputs = effect->numOutputs;
    const int32_t inputCount = EntryCount(inputs);
    const int32_t outputCount = EntryCount(outputs);
    // Beyond the limit, the layout stays as it was: it no longer fits, and the audio thread stops.
    if (inputCount > kMaxChannelEntries || outputCount > kMaxChannelEntries) {
        channelGate_.store(kGateCurrent, std::memory_order_release);
        return;
    }
    const bool accumulating = effect->process != nullptr &&
                              (effect->processReplacing == nullptr || (effect->flags & vst2::effFlagsCanReplacing) == 0);
    // Scratch blocks: silence for the extra inputs, a sink for the extra outputs, two input copies.
    const bool extraInputs = inputs > kMinChannelEntries;
    const bool extraOutputs = outputs > kMinChannelEntries;
    const size_t blocks = (extraInputs ? 1u : 0u) + (extraOutputs ? 1u : 0u) + (accumulating ? 2u : 0u);
    std::unique_ptr<float[]> scratch;
    std::unique_ptr<float*[]> heapInputs;
    std::unique_ptr<float*[]> heapOutputs;
    if (blocks > 0) scratch.reset(new (std::nothrow) float[blocks * static_cast<size_t>(kMaxBlockFrames)]());
    if ((blocks > 0 && !scratch) || !MakeHeapEntries(inputCount, heapInputs) || !MakeHeapEntries(outputCount, heapOutputs)) {
        // No memory: the layout stays as it was, as above.
        channelGate_.store(kGateCurrent, std::memory_order_release);
        return;
    }
    float* next = scratch.get();
    auto take = [&next](bool wanted) {
        if (!wanted) return static_cast<float*>(nullptr);
        float* block = next;
        next += kMaxBlockFrames;
        return block;
    };
    float* const silentInput = take(extraInputs);
    float* const discardedOutput = take(extraOutputs);
    float* const firstCopy = take(accumulating);
    float* const secondCopy = take(accumulating);
    heapInputs_ = std::move(heapInputs);
    heapOutputs_ = std::move(heapOutputs);
    inputEntries = FillEntries(heapInputs_ ? heapInputs_.get() : inlineInputs_, inputCount, silentInput);
    outputEntries = FillEntries(heapOutputs_ ? heapOutputs_.get() : inlineOutputs_, outputCount, discardedOutput);
    inputEntryCount = inputCount;
    outputEntryCount = outputCount;
    scratch_ = std::move(scratch);
    silentInput_ = silentInput;
    discardedOutput_ = discardedOutput;
    inputCopies_[0] = firstCopy;
    inputCopies_[1] = secondCopy;
    accumulating_ = accumulating;
    layoutCounts_ = ChannelCounts{inputs, outputs};
    // Published by the gate.
    channelGate_.store(kGateCurrent, std::memory_order_release);
}

void VstInterface::TakeUpChannelChange() noexcept {
    uint32_t expected = kGateStopped;
    if (!channelGate_.compare_exchange_strong(expected, kGateResizing, std::memory_order_acq_rel)) return;
    SizeChannelArrays();
}

void VstInterface::ClearForAccumulation(int32_t frames) noexcept {
    const auto count = static_cast<size_t>(frames);
    float** const inputs = inputEntries;
    float** const outputs = outputEntries;
    for (int32_t side = 0; side < kMinChannelEntries; ++side) {
        float* const output = outputs[side];
        if (output == nullptr) continue;
        for (int32_t input = 0; input < kMinChannelEntries; ++input) {
            if (inputs[input] != output) continue;
            std::memcpy(inputCopies_[input], output, count * sizeof(float));
            inputs[input] = inputCopies_[input];
        }
        std::memset(output, 0, count * sizeof(float));
    }
    if (discardedOutput_ != nullptr) std::memset(discardedOutput_, 0, count * sizeof(float));
}

void VstInterface::OpenEditor(void* parentWindow) noexcept {
    EditGetRect();
    EditOpen(parentWindow);
}

int32_t VstInterface::NumParams(int32_t fallback) const noexcept { return IsCallable() ? effect->numParams : fallback; }

int32_t VstInterface::UniqueId(int32_t fallback) const noexcept { return IsCallable() ? effect->uniqueID : fallback; }

const char* VstInterface::EffectCallName(int32_t opcode) noexcept {
    switch (opcode) {
        case vst2::effOpen: return "effOpen";
        case vst2::effClose: return "effClose";
        case vst2::effGetParamName: return "effGetParamName";
        case vst2::effSetSampleRate: return "effSetSampleRate";
        case vst2::effSetBlockSize: return "effSetBlockSize";
        case vst2::effMainsChanged: return "effMainsChanged";
        case vst2::effEditGetRect: return "effEditGetRect";
        case vst2::effEditOpen: return "effEditOpen";
        case vst2::effEditClose: return "effEditClose";
        case vst2::effEditIdle: return "effEditIdle";
        case vst2::effGetChunk: return "effGetChunk";
        case vst2::effSetChunk: return "effSetChunk";
        case vst2::effProcessEvents: return "effProcessEvents";
        case vst2::effCanBeAutomated: return "effCanBeAutomated";
        case vst2::effSetBypass: return "effSetBypass";
        case vst2::effGetParameterProperties: return "effGetParameterProperties";
        case vst2::effEditKeyDown: return "effEditKeyDown";
        case vst2::effPrivateEditorRedraw: return "editor redraw request (-1)";
        case vst2::effPrivateGetParameterId: return "parameter identifier request (-14)";
        case vst2::effPrivateFindParameterIndex: return "parameter index request (-15)";
        case vst2::effPrivatePreOpenNotice: return "editor pre-open notice (-16)";
        default: return "dispatcher";
    }
}

void VstInterface::WriteFailureLine(const char* callName, const char* reason) noexcept {
    char line[platform::kLogLineLimit];
    std::snprintf(line, sizeof line, "the effect's %s threw (%s); this instance goes on without the effect",
                  callName, reason != nullptr ? reason : "not a standard exception");
    platform::LogLine(line);
}

void VstInterface::ReportEffectFailure(VstInterface* owner, const char* callName, const char* reason) noexcept {
    // Only the first failure of an instance is reported: after it no call reaches the effect.
    if (owner != nullptr) {
        if (owner->failed_.exchange(true, std::memory_order_relaxed)) return;
        // The audio thread may have recorded one at the same moment; one line either way.
        if (owner->failureLineWritten_.exchange(true, std::memory_order_relaxed)) return;
    }
    WriteFailureLine(callName, reason);
}

void VstInterface::RecordAudioFailure(const char* callName, const char* reason) noexcept {
    if (HasFailed()) return;
    audioFailureCall_ = callName;
    audioFailureHasReason_ = reason != nullptr;
    size_t length = 0;
    if (reason != nullptr) {
        for (; length + 1 < kFailureReasonBytes && reason[length] != '\0'; ++length) audioFailureReason_[length] = reason[length];
    }
    audioFailureReason_[length] = '\0';
    failed_.store(true, std::memory_order_release);
    failurePending_.store(true, std::memory_order_release);
}

void VstInterface::ReportDeferredFailure() noexcept {
    if (!failurePending_.load(std::memory_order_acquire)) return;
    if (!failurePending_.exchange(false, std::memory_order_acquire)) return;
    if (failureLineWritten_.exchange(true, std::memory_order_relaxed)) return;
    WriteFailureLine(audioFailureCall_, audioFailureHasReason_ ? audioFailureReason_ : nullptr);
}
