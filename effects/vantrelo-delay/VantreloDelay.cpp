#include "VantreloDelay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

#include "StateChunk.h"

namespace vantrelo {
namespace {

// Opcodes answered here that the module never sends.
enum : int32_t {
    effSetProgramName = 4,
    effGetProgramName = 5,
    effGetProgramNameIndexed = 29,
    effGetPlugCategory = 35,
    effGetVendorVersion = 49,
    effEditKeyUp = 60,
};
constexpr intptr_t kPlugCategoryEffect = 1;
constexpr intptr_t kVstVersion = 2400;

// Text capacities, with the NUL, that hosts are promised.
constexpr size_t kParamTextCapacity = 8;
constexpr size_t kParamNameCapacity = 32;
constexpr size_t kEffectNameCapacity = 32;
constexpr size_t kVendorTextCapacity = 64;
constexpr size_t kProgramNameCapacity = 24;
constexpr intptr_t kDefaultIdentifierCapacity = 32;

constexpr const char* kProgramName = "Default";
constexpr int32_t kAccumulateChunk = 256;

void CopyText(char* destination, const char* text, size_t capacity) {
    if (destination == nullptr || capacity == 0) return;
    const size_t length = std::min(std::strlen(text), capacity - 1);
    std::memcpy(destination, text, length);
    destination[length] = '\0';
}

DelayEffect* FromRecord(vst2::AEffect* effect) {
    return effect != nullptr ? static_cast<DelayEffect*>(effect->object) : nullptr;
}

bool IsValidIndex(int32_t index) { return index >= 0 && index < kNumParameters; }

void CopyChannel(const float* from, float* to, int32_t frames) {
    if (from != to) std::memmove(to, from, static_cast<size_t>(frames) * sizeof(float));
}

void AddChannel(const float* from, float* to, int32_t frames) {
    for (int32_t i = 0; i < frames; ++i) to[i] += from[i];
}

}  // namespace

DelayEffect::DelayEffect(vst2::AudioMasterCallback host) : host_(host), editor_(*this) {
    for (int32_t i = 0; i < kNumParameters; ++i) values_[static_cast<size_t>(i)].store(kParameterInfo[i].defaultValue);
    record_.magic = vst2::kEffectMagic;
    record_.dispatcher = &DispatchEntry;
    record_.process = &ProcessAccumulatingEntry;
    record_.setParameter = &SetParameterEntry;
    record_.getParameter = &GetParameterEntry;
    record_.numPrograms = 1;
    record_.numParams = kNumParameters;
    record_.numInputs = 2;
    record_.numOutputs = 2;
    record_.flags = vst2::effFlagsCanReplacing | vst2::effFlagsProgramChunks | vst2::effFlagsHasEditor;
    record_.ioRatio = 1.0f;
    record_.object = this;
    record_.uniqueID = kUniqueId;
    record_.version = kEffectVersion;
    record_.processReplacing = &ProcessReplacingEntry;
    // The first block takes this line unless a rate set before it asks for another.
    spareLine_.Allocate(DelayEngine::LineLengthFor(sampleRate_.load(std::memory_order_relaxed)));
    lineOffer_.store(kLineOffered, std::memory_order_release);
}

vst2::AEffect* CreateDelayEffect(vst2::AudioMasterCallback host) {
    try {
        return (new DelayEffect(host))->Record();
    } catch (...) {
        return nullptr;
    }
}

// ---------------------------------------------------------------------------------------------
// Entry points

intptr_t DelayEffect::DispatchEntry(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                    void* ptr, float opt) {
    DelayEffect* self = FromRecord(effect);
    if (self == nullptr) return 0;
    if (opcode == vst2::effClose) {
        delete self;
        return 1;
    }
    try {
        return self->Dispatch(opcode, index, value, ptr, opt);
    } catch (...) {
        return 0;  // only main-thread opcodes allocate; a failure there leaves the state as it was
    }
}

void DelayEffect::ProcessReplacingEntry(vst2::AEffect* effect, float** inputs, float** outputs, int32_t frames) {
    if (DelayEffect* self = FromRecord(effect)) self->Render(inputs, outputs, frames, false);
}

void DelayEffect::ProcessAccumulatingEntry(vst2::AEffect* effect, float** inputs, float** outputs, int32_t frames) {
    if (DelayEffect* self = FromRecord(effect)) self->Render(inputs, outputs, frames, true);
}

void DelayEffect::SetParameterEntry(vst2::AEffect* effect, int32_t index, float value) {
    DelayEffect* self = FromRecord(effect);
    if (self == nullptr || !IsValidIndex(index) || std::isnan(value)) return;
    self->values_[static_cast<size_t>(index)].store(ClampUnit(value), std::memory_order_relaxed);
}

float DelayEffect::GetParameterEntry(vst2::AEffect* effect, int32_t index) {
    DelayEffect* self = FromRecord(effect);
    if (self == nullptr || !IsValidIndex(index)) return 0.0f;
    return self->values_[static_cast<size_t>(index)].load(std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------------------------
// Dispatcher

intptr_t DelayEffect::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    switch (opcode) {
    case vst2::effOpen:
        return 0;
    case vst2::effSetProgram:
    case vst2::effGetProgram:
    case effSetProgramName:
        return 0;
    case effGetProgramName:
        CopyText(static_cast<char*>(ptr), kProgramName, kProgramNameCapacity);
        return 0;
    case effGetProgramNameIndexed:
        if (index != 0 || ptr == nullptr) return 0;
        CopyText(static_cast<char*>(ptr), kProgramName, kProgramNameCapacity);
        return 1;
    case vst2::effGetParamLabel: {
        if (!IsValidIndex(index) || ptr == nullptr) return 0;
        CopyText(static_cast<char*>(ptr), kParameterInfo[index].unit, kParamTextCapacity);
        return 0;
    }
    case vst2::effGetParamDisplay:
        if (!IsValidIndex(index) || ptr == nullptr) return 0;
        FormatParameterDisplay(index, static_cast<char*>(ptr));
        return 0;
    case vst2::effGetParamName:
        if (!IsValidIndex(index) || ptr == nullptr) return 0;
        CopyText(static_cast<char*>(ptr), kParameterInfo[index].label, kParamNameCapacity);
        return 0;
    case vst2::effSetSampleRate:
        // Processing adopts the new rate, and the line prepared for it, at its next block, so
        // this is safe while audio runs. Short of memory the rate is still taken, with the
        // longest delay the current line holds.
        if (std::isfinite(opt) && opt > 0.0f) {
            PrepareLine(opt);
            sampleRate_.store(opt, std::memory_order_release);
        }
        return 0;
    case vst2::effSetBlockSize:
        // Any block length is processed; the value is kept for information only.
        if (value > 0 && value <= INT32_MAX) blockSize_.store(static_cast<int32_t>(value), std::memory_order_relaxed);
        return 0;
    case vst2::effMainsChanged:
        if (value != 0) {
            PrepareLine(sampleRate_.load(std::memory_order_relaxed));
            resumePending_.store(true, std::memory_order_release);
        }
        return 0;
    case vst2::effEditGetRect:
        if (ptr == nullptr) return 0;
        *static_cast<vst2::ERect**>(ptr) = editor_.Rect();
        return 1;
    case vst2::effEditOpen:
        return editor_.Open(ptr) ? 1 : 0;
    case vst2::effEditClose:
        editor_.Close();
        return 1;
    case vst2::effEditIdle:
        editor_.Idle();
        return 1;
    case vst2::effGetChunk:
        return GetChunk(static_cast<void**>(ptr));
    case vst2::effSetChunk:
        return SetChunk(ptr, value);
    case vst2::effProcessEvents:
        return ProcessEvents(static_cast<const vst2::VstEvents*>(ptr));
    case vst2::effCanBeAutomated:
        return IsValidIndex(index) && kParameterInfo[index].automatable ? 1 : 0;
    case effGetPlugCategory:
        return kPlugCategoryEffect;
    case vst2::effSetBypass:
        bypassed_.store(value != 0, std::memory_order_release);
        return 1;
    case vst2::effGetEffectName:
        CopyText(static_cast<char*>(ptr), kEffectName, kEffectNameCapacity);
        return ptr != nullptr ? 1 : 0;
    case vst2::effGetVendorString:
        CopyText(static_cast<char*>(ptr), kVendorName, kVendorTextCapacity);
        return ptr != nullptr ? 1 : 0;
    case vst2::effGetProductString:
        CopyText(static_cast<char*>(ptr), kEffectName, kVendorTextCapacity);
        return ptr != nullptr ? 1 : 0;
    case effGetVendorVersion:
        return kEffectVersion;
    case vst2::effCanDo: {
        if (ptr == nullptr) return 0;
        const char* query = static_cast<const char*>(ptr);
        for (const char* supported : {"bypass", "receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo"}) {
            if (std::strcmp(query, supported) == 0) return 1;
        }
        return 0;
    }
    case vst2::effGetTailSize:
        return 0;  // the tail depends on feedback; 0 lets the host use its default
    case vst2::effGetParameterProperties:
        return GetParameterProperties(index, static_cast<vst2::VstParameterProperties*>(ptr));
    case vst2::effGetVstVersion:
        return kVstVersion;
    case vst2::effEditKeyDown:
        return editor_.KeyDown(index, value, opt) ? 1 : 0;
    case effEditKeyUp:
        return 0;
    case vst2::effPrivateEditorRedraw:
        editor_.Redraw(static_cast<const vst2::ERect*>(ptr));
        return 1;
    case vst2::effPrivatePreOpenNotice:
        return 1;  // nothing to prepare: the editor opens without delay
    case vst2::effPrivateGetParameterId: {
        if (ptr == nullptr || value < 0) return 0;
        const size_t capacity = static_cast<size_t>(value == 0 ? kDefaultIdentifierCapacity : value);
        // An unknown index gets the empty text rather than leaving the host's buffer stale.
        CopyText(static_cast<char*>(ptr), IsValidIndex(index) ? kParameterInfo[index].identifier : "", capacity);
        return IsValidIndex(index) ? 1 : 0;
    }
    case vst2::effPrivateFindParameterIndex: {
        if (ptr == nullptr) return -1;
        const char* identifier = static_cast<const char*>(ptr);
        for (int32_t i = 0; i < kNumParameters; ++i) {
            if (std::strcmp(identifier, kParameterInfo[i].identifier) == 0) return i;
        }
        return -1;
    }
    default:
        return 0;
    }
}

intptr_t DelayEffect::GetParameterProperties(int32_t index, vst2::VstParameterProperties* properties) const {
    if (!IsValidIndex(index) || properties == nullptr) return 0;
    const ParameterInfo& info = kParameterInfo[index];
    if (!info.reportsProperties) return 0;
    std::memset(properties, 0, sizeof *properties);
    CopyText(properties->label, info.label, sizeof properties->label);
    CopyText(properties->shortLabel, info.shortLabel, sizeof properties->shortLabel);
    if (info.switchSteps >= 2) {
        properties->flags = vst2::kVstParameterIsSwitch | vst2::kVstParameterUsesIntegerMinMax;
        properties->minInteger = 0;
        properties->maxInteger = info.switchSteps - 1;
        properties->stepInteger = info.switchSteps;
        properties->largeStepInteger = 1;
    } else {
        properties->flags = vst2::kVstParameterUsesFloatStep;
        properties->stepFloat = DelayEditor::kContinuousStep;
        properties->smallStepFloat = DelayEditor::kContinuousStep / 10.0f;
        properties->largeStepFloat = DelayEditor::kContinuousStep * 10.0f;
    }
    return 1;
}

void DelayEffect::FormatParameterDisplay(int32_t index, char* text) const {
    const float v = values_[static_cast<size_t>(index)].load(std::memory_order_relaxed);
    switch (index) {
    case kParamTime:
        std::snprintf(text, kParamTextCapacity, "%.0f", DelaySeconds(v) * 1000.0);
        break;
    case kParamFeedback:
    case kParamMix:
        std::snprintf(text, kParamTextCapacity, "%.0f", static_cast<double>(v) * 100.0);
        break;
    case kParamSync:
    case kParamPingPong:
        CopyText(text, SwitchPosition(v, 2) != 0 ? "On" : "Off", kParamTextCapacity);
        break;
    case kParamDivision: {
        static constexpr const char* kNoteNames[5] = {"1/16", "1/8", "1/8.", "1/4", "1/2"};
        CopyText(text, kNoteNames[SwitchPosition(v, 5)], kParamTextCapacity);
        break;
    }
    case kParamTone:
        std::snprintf(text, kParamTextCapacity, "%.0f", ToneCutoffHz(v));
        break;
    case kParamOutput:
        if (OutputGain(v) <= 0.0f) {
            CopyText(text, "-inf", kParamTextCapacity);
        } else {
            std::snprintf(text, kParamTextCapacity, "%.1f", 20.0 * std::log10(static_cast<double>(OutputGain(v))));
        }
        break;
    case kParamUiScale:
        std::snprintf(text, kParamTextCapacity, "%.0f", EditorScale(v) * 100.0);
        break;
    default:
        CopyText(text, "", kParamTextCapacity);
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// State

intptr_t DelayEffect::GetChunk(void** data) {
    if (data == nullptr) return 0;
    ParameterValues values{};
    for (size_t i = 0; i < values.size(); ++i) values[i] = values_[i].load(std::memory_order_relaxed);
    WriteStateChunk(values, chunk_);
    *data = chunk_.data();
    return static_cast<intptr_t>(chunk_.size());
}

intptr_t DelayEffect::SetChunk(const void* data, intptr_t size) {
    ParsedState parsed;
    if (!ReadStateChunk(data, size, parsed)) return 0;
    for (size_t i = 0; i < parsed.values.size(); ++i) {
        if (parsed.present[i]) values_[i].store(parsed.values[i], std::memory_order_relaxed);
    }
    CallHost(vst2::audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Editor owner

float DelayEffect::ParameterValue(int32_t index) const {
    return IsValidIndex(index) ? values_[static_cast<size_t>(index)].load(std::memory_order_relaxed) : 0.0f;
}

void DelayEffect::ApplyParameterValue(int32_t index, float value) {
    if (IsValidIndex(index)) values_[static_cast<size_t>(index)].store(ClampUnit(value), std::memory_order_relaxed);
}

std::string DelayEffect::ValueText(int32_t index) const {
    if (!IsValidIndex(index)) return {};
    char text[kParamTextCapacity] = {};
    FormatParameterDisplay(index, text);
    std::string shown = text;
    if (kParameterInfo[index].unit[0] != '\0') shown.append(" ").append(kParameterInfo[index].unit);
    return shown;
}

intptr_t DelayEffect::CallHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    return host_ != nullptr ? host_(&record_, opcode, index, value, ptr, opt) : 0;
}

// ---------------------------------------------------------------------------------------------
// Processing

intptr_t DelayEffect::ProcessEvents(const vst2::VstEvents* events) {
    if (events == nullptr || events->numEvents <= 0) return 0;
    // The pointer array is as long as numEvents says, beyond the two entries the type declares.
    vst2::VstEvent* const* list = events->events;
    for (int32_t i = 0; i < events->numEvents; ++i) {
        const vst2::VstEvent* event = list[i];
        if (event == nullptr || event->type != vst2::kVstMidiType) continue;
        const auto* midi = reinterpret_cast<const vst2::VstMidiEvent*>(event);
        const auto status = static_cast<uint8_t>(midi->midiData[0]);
        const auto controller = static_cast<uint8_t>(midi->midiData[1]);
        if ((status & 0xF0) == 0xB0 && controller == 123) RequestTailClear(midi->deltaFrames);
    }
    return 1;
}

void DelayEffect::RequestTailClear(int32_t frame) {
    if (frame < 0) frame = 0;
    int32_t pending = pendingTailClear_.load(std::memory_order_relaxed);
    while (frame < pending && !pendingTailClear_.compare_exchange_weak(pending, frame, std::memory_order_relaxed)) {
    }
}

double DelayEffect::HostTempo() {
    const intptr_t answer = CallHost(vst2::audioMasterGetTime, 0, vst2::kVstTempoValid, nullptr, 0.0f);
    const auto* time = reinterpret_cast<const vst2::VstTimeInfo*>(answer);
    if (time != nullptr && (time->flags & vst2::kVstTempoValid) != 0 && std::isfinite(time->tempo) && time->tempo > 0.0) {
        return time->tempo;
    }
    return kDefaultTempo;
}

BlockSettings DelayEffect::PrepareBlock() {
    // Asked every block, also without sync: a host may answer a time request with a transport
    // stop (an all-notes-off), which then reaches this block.
    const double tempo = HostTempo();

    bool snap = wasBypassed_;
    wasBypassed_ = false;
    const double rate = sampleRate_.load(std::memory_order_acquire);
    // Taken after the rate is read: a line offered for that rate is visible by now.
    if (TakeOfferedLine() || rate != engine_.SampleRate()) {
        engine_.Configure(rate);
        snap = true;
    }
    if (resumePending_.exchange(false, std::memory_order_acquire)) {
        engine_.DropTail();
        snap = true;
    }

    float v[kNumParameters];
    for (int32_t i = 0; i < kNumParameters; ++i) v[i] = values_[static_cast<size_t>(i)].load(std::memory_order_relaxed);

    BlockSettings settings;
    const double seconds = SwitchPosition(v[kParamSync], 2) != 0
                               ? DivisionQuarterNotes(v[kParamDivision]) * 60.0 / tempo
                               : DelaySeconds(v[kParamTime]);
    settings.delaySamples = engine_.DelayInSamples(seconds);
    settings.feedbackGain = FeedbackGain(v[kParamFeedback]);
    settings.wetMix = ClampUnit(v[kParamMix]);
    settings.outputGain = OutputGain(v[kParamOutput]);
    settings.toneBypassed = ClampUnit(v[kParamTone]) >= 1.0f;
    settings.toneCutoffHz = ToneCutoffHz(v[kParamTone]);
    settings.pingPong = SwitchPosition(v[kParamPingPong], 2) != 0;
    if (snap) engine_.SnapTo(settings);
    return settings;
}

bool DelayEffect::TakeOfferedLine() {
    if (lineOffer_.load(std::memory_order_relaxed) != kLineOffered) return false;
    int32_t state = kLineOffered;
    if (!lineOffer_.compare_exchange_strong(state, kLineTaking, std::memory_order_acquire)) return false;
    engine_.AdoptLine(spareLine_);
    lineOffer_.store(kLineKept, std::memory_order_release);
    return true;
}

bool DelayEffect::ReclaimSpareLine() {
    for (;;) {
        int32_t state = kLineOffered;
        if (lineOffer_.compare_exchange_weak(state, kLineKept, std::memory_order_acquire)) return true;
        if (state == kLineKept) return false;
        if (state == kLineTaking) std::this_thread::yield();
    }
}

bool DelayEffect::PrepareLine(double rate) {
    const bool wasOffered = ReclaimSpareLine();
    // With the offer withdrawn or taken, the engine's line changes only on this thread.
    const int32_t length = DelayEngine::LineLengthFor(rate);
    if (engine_.LineLength() == length) {
        spareLine_.Release();
        return true;
    }
    if (!wasOffered || spareLine_.Length() != length) {
        LineMemory fresh;
        try {
            fresh.Allocate(length);
        } catch (const std::bad_alloc&) {
            if (wasOffered) lineOffer_.store(kLineOffered, std::memory_order_release);
            return false;
        }
        std::swap(spareLine_, fresh);  // what spareLine_ held goes with `fresh`
    }
    lineOffer_.store(kLineOffered, std::memory_order_release);
    return true;
}

void DelayEffect::Render(float** inputs, float** outputs, int32_t frames, bool accumulate) {
    if (frames <= 0 || outputs == nullptr || outputs[0] == nullptr) return;
    float* const outLeft = outputs[0];
    float* const outRight = outputs[1];  // null: a mono instance
    const float* const inLeft = inputs != nullptr ? inputs[0] : nullptr;
    const float* const inRight = inputs != nullptr && inputs[1] != nullptr ? inputs[1] : inLeft;
    if (inLeft == nullptr) {
        if (!accumulate) {
            std::memset(outLeft, 0, static_cast<size_t>(frames) * sizeof(float));
            if (outRight != nullptr) std::memset(outRight, 0, static_cast<size_t>(frames) * sizeof(float));
        }
        return;
    }

    if (bypassed_.load(std::memory_order_acquire)) {
        // The input passes untouched and the echoes are forgotten; when bypass ends the
        // effect starts from silence at its current settings.
        if (accumulate) {
            AddChannel(inLeft, outLeft, frames);
            if (outRight != nullptr) AddChannel(inRight, outRight, frames);
        } else {
            CopyChannel(inLeft, outLeft, frames);
            if (outRight != nullptr) CopyChannel(inRight, outRight, frames);
        }
        engine_.DropTail();
        pendingTailClear_.store(kNoTailClear, std::memory_order_relaxed);
        wasBypassed_ = true;
        return;
    }

    const BlockSettings settings = PrepareBlock();
    // Read after the time request: the host may deliver an all-notes-off from within it.
    const int32_t pending = pendingTailClear_.exchange(kNoTailClear, std::memory_order_relaxed);
    const int32_t clearAt = pending == kNoTailClear ? -1 : std::min(pending, frames);

    if (!accumulate) {
        engine_.Process(inLeft, inRight, outLeft, outRight, frames, settings, clearAt);
        return;
    }
    float scratchLeft[kAccumulateChunk];
    float scratchRight[kAccumulateChunk];
    for (int32_t start = 0; start < frames; start += kAccumulateChunk) {
        const int32_t count = std::min(kAccumulateChunk, frames - start);
        const int32_t chunkClear = clearAt >= start && clearAt < start + count ? clearAt - start
                                   : (clearAt == frames && start + count == frames ? count : -1);
        engine_.Process(inLeft + start, inRight + start, scratchLeft, outRight != nullptr ? scratchRight : nullptr,
                        count, settings, chunkClear);
        AddChannel(scratchLeft, outLeft + start, count);
        if (outRight != nullptr) AddChannel(scratchRight, outRight + start, count);
    }
}

}  // namespace vantrelo
