#include "vsthost/VstCallBack.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include "interfaces/aax_parameter.h"
#include "params/AAX_CParameterManager.h"
#include "vsthost/VstInterface.h"

namespace {

// Controller 123 (all notes off) on MIDI channel 1, value 0.
constexpr char kAllNotesOff[4] = {static_cast<char>(0xB0), 0x7B, 0x00, 0x00};

// The threads running an effect's entry point, module-wide: no instance owns the effect yet.
ThreadMarks<8> gEntryPoints;

// The effect's `user` field, read and written whole: an effect's thread may call the host while
// the loader or the data model sets it on another thread.
VstCallBack* ReadUser(vst2::AEffect& effect) {
    return static_cast<VstCallBack*>(std::atomic_ref<void*>(effect.user).load(std::memory_order_acquire));
}

// One time record from the values of a snapshot, written field by field: every field the effect
// can read is defined by each request, stale content (the effect's own scribbles included) never
// survives one, and a part the flags do not declare valid reads 0.
void FillTimeRecord(vst2::VstTimeInfo& record, double sampleRate, int32_t flags, double tempo, int32_t numerator,
                    int32_t denominator, double ppqPosition, double samplePosition) noexcept {
    const bool positionValid = (flags & vst2::kVstPpqPosValid) != 0;
    const bool timeSigValid = (flags & vst2::kVstTimeSigValid) != 0;
    record.samplePos = positionValid ? samplePosition : 0.0;
    record.sampleRate = sampleRate;
    record.nanoSeconds = 0.0;
    record.ppqPos = positionValid ? ppqPosition : 0.0;
    record.tempo = (flags & vst2::kVstTempoValid) != 0 ? tempo : 0.0;
    record.barStartPos = 0.0;
    record.cycleStartPos = 0.0;
    record.cycleEndPos = 0.0;
    record.timeSigNumerator = timeSigValid ? numerator : 0;
    record.timeSigDenominator = timeSigValid ? denominator : 0;
    record.smpteOffset = 0;
    record.smpteFrameRate = 0;
    record.samplesToNextClock = 0;
    record.flags = flags;
}

}  // namespace

VstCallBack::EntryPointCall::EntryPointCall() noexcept : mark_(gEntryPoints, 0) {}

VstCallBack::EntryPointCall::~EntryPointCall() = default;

VstCallBack::LinkChange::LinkChange(VstCallBack& callBack) noexcept : callBack_(callBack) {
    const uintptr_t self = platform::CurrentThreadTag();
    if (callBack_.linkChanger_.load(std::memory_order_acquire) == self) {
        ++callBack_.linkChangeDepth_;
        return;
    }
    // Another thread changing the links (two threads of the host at once) goes first.
    uintptr_t expected = 0;
    while (!callBack_.linkChanger_.compare_exchange_weak(expected, self, std::memory_order_seq_cst)) {
        expected = 0;
        std::this_thread::yield();
    }
    outermost_ = true;
    callBack_.linkChangeDepth_ = 1;
    // Calls that started before the change was announced finish with the links as they were.
    while (callBack_.linkUsers_.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
}

VstCallBack::LinkChange::~LinkChange() {
    if (--callBack_.linkChangeDepth_ > 0 || !outermost_) return;
    callBack_.linkChanger_.store(0, std::memory_order_release);
}

VstCallBack::LinkUse::LinkUse(VstCallBack& callBack) noexcept : callBack_(callBack) {
    // Announced before the changer is read: a LinkChange that starts after this either sees this
    // call and waits for it, or is seen by it.
    callBack_.linkUsers_.fetch_add(1, std::memory_order_seq_cst);
    const uintptr_t changer = callBack_.linkChanger_.load(std::memory_order_seq_cst);
    usable_ = changer == 0 || changer == platform::CurrentThreadTag();
}

VstCallBack::LinkUse::~LinkUse() { callBack_.linkUsers_.fetch_sub(1, std::memory_order_release); }

VstCallBack::VstCallBack(AAXWrapper_Parameters* ownerObject)
    : wasPlaying(0),
      isPlaying(0),
      tempo(120.0),
      timeSigNumerator(4),
      timeSigDenominator(4),
      ppqPosition(0.0),
      ppqOffset(0.0),
      samplePosition(0),
      tempoValid(0),
      timeSigValid(0),
      positionValid(0),
      editorGui(nullptr),
      timeInfo{},
      parameterManager(nullptr),
      owner(ownerObject),
      controller(nullptr),
      stopEvent(new uint8_t[kStopEventBufferSize]()) {
    mainThread_.store(platform::CurrentThreadTag(), std::memory_order_relaxed);
    Publish();
}

VstCallBack::~VstCallBack() = default;

intptr_t VstCallBack::HostCallback(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t /*value*/,
                                   void* ptr, float opt) noexcept {
    // The audio thread's time request first: most effects ask once per buffer. Answered from the
    // snapshot without a detour; every other case takes the general path below.
    if (opcode == vst2::audioMasterGetTime && effect != nullptr && !gEntryPoints.HeldHere(0)) {
        VstCallBack* const self = ReadUser(*effect);
        if (self != nullptr && self->OnAudioThread()) return self->AnswerAudioTimeRequest(effect, opt);
    }
    switch (opcode) {
        case vst2::audioMasterVersion:
            return kHostVersion;
        case vst2::audioMasterCurrentId:
            return kHostCurrentId;
        case vst2::audioMasterGetVendorString:
            if (ptr != nullptr) std::memcpy(ptr, kVendorString, kVendorStringBytes);
            return 0;
        case vst2::audioMasterGetBlockSize:
            return VstInterface::kMaxBlockFrames;
        case vst2::audioMasterIOChanged:
            // Supported: the processing sees new counts for itself before each audio call
            // (VstInterface::LayoutCurrent), announced or not, and the main thread makes the
            // channel arrays again; a notice that leaves the counts as they are changes nothing.
            return 1;
        case vst2::audioMasterAutomate:
        case vst2::audioMasterGetTime:
        case vst2::audioMasterSizeWindow:
        case vst2::audioMasterGetSampleRate:
        case vst2::audioMasterUpdateDisplay:
        case vst2::audioMasterBeginEdit:
        case vst2::audioMasterEndEdit: {
            // While the entry point runs on this thread, the record is the effect's unfinished
            // work: `user` may hold anything.
            if (effect == nullptr || gEntryPoints.HeldHere(0)) return 0;
            VstCallBack* const self = ReadUser(*effect);
            if (self == nullptr) return 0;
            // Whatever the host or this module throws on the way stops here, not in the effect.
            try {
                return self->OnHostOpcode(effect, opcode, index, ptr, opt);
            } catch (...) {
                return 0;
            }
        }
        default:
            return 0;
    }
}

intptr_t VstCallBack::OnHostOpcode(vst2::AEffect* effect, int32_t opcode, int32_t index, void* /*ptr*/,
                                   float opt) {
    switch (opcode) {
        case vst2::audioMasterGetTime:
            return AnswerTimeRequest(effect, opt);
        case vst2::audioMasterGetSampleRate:
            return AnswerSampleRateRequest(effect);
        case vst2::audioMasterAutomate:
        case vst2::audioMasterBeginEdit:
        case vst2::audioMasterEndEdit:
            return HandleParameterGesture(effect, opcode, index, opt);
        case vst2::audioMasterUpdateDisplay:
            return HandleDisplayUpdate(effect, opt);
        case vst2::audioMasterSizeWindow:
        default:
            return 0;
    }
}

float VstCallBack::AskSampleRate() const {
    // A controller that does not answer leaves the default in place.
    float rate = static_cast<float>(kDefaultSampleRate);
    if (controller != nullptr) controller->GetSampleRate(&rate);
    return rate;
}

void VstCallBack::SetController(AAX_IController* hostController) noexcept {
    const LinkChange change(*this);
    mainThread_.store(platform::CurrentThreadTag(), std::memory_order_relaxed);
    controller = hostController;
    float rate = static_cast<float>(kDefaultSampleRate);
    try {
        rate = AskSampleRate();
    } catch (...) {
        rate = static_cast<float>(kDefaultSampleRate);
    }
    controllerRate_.store(rate, std::memory_order_relaxed);
}

void VstCallBack::RegisterGui(AAX_IACFEffectGUI* gui) noexcept {
    const LinkChange change(*this);
    editorGui = gui;
}

void VstCallBack::UnregisterGui(const AAX_IACFEffectGUI* gui) noexcept {
    const LinkChange change(*this);
    if (editorGui == gui) editorGui = nullptr;
}

void VstCallBack::PrepareMirrors(int32_t count) {
    ForgetMirrors();
    const int32_t wanted = std::clamp(count, 0, VstInterface::kMaxParameters);
    if (wanted == 0) return;
    mirrors_.reset(new Mirror[static_cast<size_t>(wanted)]);
    mirrorCount_ = wanted;
}

void VstCallBack::MirrorParameter(int32_t index, AAX_IParameter* parameter, float effectValue) noexcept {
    if (index < 0 || index >= mirrorCount_) return;
    mirrors_[index].parameter = parameter;
    mirrors_[index].held.store(effectValue, std::memory_order_relaxed);
}

void VstCallBack::ForgetMirrors() noexcept {
    mirrorCount_ = 0;
    mirrors_.reset();
}

AAX_IParameter* VstCallBack::MirroredParameter(int32_t index) const noexcept {
    return index >= 0 && index < mirrorCount_ ? mirrors_[index].parameter : nullptr;
}

bool VstCallBack::TakeDelivery(int32_t index, float value) noexcept {
    if (index < 0 || index >= mirrorCount_) return true;
    // Compared as floats, the form the effect receives; NaN is never equal, so always news.
    return mirrors_[index].held.exchange(value, std::memory_order_relaxed) != value;
}

void VstCallBack::ReadBackValues() noexcept {
    if (vstInterface == nullptr || readingBack_.HeldHere(0)) return;
    const ThreadMarks<4>::Scope reading(readingBack_, 0);
    const LinkUse use(*this);
    if (!use.Usable()) return;
    for (int32_t index = 0; index < mirrorCount_ && vstInterface->IsCallable(); ++index) {
        AAX_IParameter* const parameter = mirrors_[index].parameter;
        if (parameter == nullptr) continue;
        const float value = vstInterface->GetParameter(index, 0.0f);
        if (vstInterface->HasFailed()) break;
        if (!std::isfinite(value)) continue;
        mirrors_[index].held.store(value, std::memory_order_relaxed);
        // The parameter's own confirmation path: stored and reported to the host, and nothing
        // goes back to the effect, which is where the value came from.
        if (parameter->GetNormalizedValue() != static_cast<double>(value)) {
            parameter->UpdateNormalizedValue(static_cast<double>(value));
        }
    }
}

void VstCallBack::ServeDeferredReadBack() noexcept {
    if (!readBackWanted_.load(std::memory_order_relaxed)) return;
    if (platform::CurrentThreadTag() != mainThread_.load(std::memory_order_relaxed)) return;
    readBackWanted_.store(false, std::memory_order_relaxed);
    ReadBackValues();
}

void VstCallBack::ReleaseOpenGestures() noexcept {
    const LinkUse use(*this);
    if (!use.Usable()) return;
    for (int32_t index = 0; index < mirrorCount_; ++index) {
        AAX_IParameter* const parameter = mirrors_[index].parameter;
        for (int32_t open = mirrors_[index].openGestures.exchange(0, std::memory_order_relaxed); open > 0; --open) {
            if (parameter != nullptr) parameter->Release();
        }
    }
}

intptr_t VstCallBack::AnswerSampleRateRequest(vst2::AEffect* effect) {
    // An effect that asks for the rate again while it is being sent the rate gets no second send.
    if (sendingRate_.HeldHere(0)) return 0;
    float rate = 0.0f;
    {
        const LinkUse use(*this);
        // While the links change, the rate is not known: sending a default instead would tell the
        // effect a wrong rate.
        if (!use.Usable()) return 0;
        rate = AskSampleRate();
    }
    controllerRate_.store(rate, std::memory_order_relaxed);
    const ThreadMarks<4>::Scope sending(sendingRate_, 0);
    VstInterface::DispatchUngated(effect, vst2::effSetSampleRate, 0, 0, nullptr, rate, vstInterface);
    return 0;
}

void VstCallBack::Publish() noexcept {
    const int32_t flags = SnapshotFlags();
    // Written by the audio thread alone; a reader that overlaps an odd count or sees the count
    // change reads again. Each value is stored with release and read with acquire: a reader that
    // sees a value of this round also sees the odd count stored before it.
    const uint32_t sequence = published_.sequence.load(std::memory_order_relaxed);
    published_.sequence.store(sequence + 1, std::memory_order_relaxed);
    published_.flags.store(flags, std::memory_order_release);
    published_.tempo.store(tempo, std::memory_order_release);
    published_.timeSigNumerator.store(timeSigNumerator, std::memory_order_release);
    published_.timeSigDenominator.store(timeSigDenominator, std::memory_order_release);
    published_.ppqPosition.store(ppqPosition, std::memory_order_release);
    published_.samplePosition.store(static_cast<double>(samplePosition), std::memory_order_release);
    published_.sequence.store(sequence + 2, std::memory_order_release);
}

void VstCallBack::AdvanceSnapshot(int32_t frames) noexcept {
    samplePosition = static_cast<int32_t>(static_cast<uint32_t>(samplePosition) + static_cast<uint32_t>(frames));
    const double rate = static_cast<double>(controllerRate_.load(std::memory_order_relaxed));
    if (positionValid != 0 && tempoValid != 0 && rate > 0.0) {
        // Tempo counts quarter notes per minute.
        ppqPosition += static_cast<double>(frames) / rate * tempo / 60.0;
    }
    PublishSnapshot();
}

intptr_t VstCallBack::AnswerTimeRequest(vst2::AEffect* effect, float opt) {
    if (OnAudioThread()) return AnswerAudioTimeRequest(effect, opt);
    return AnswerOtherTimeRequest();
}

intptr_t VstCallBack::AnswerAudioTimeRequest(vst2::AEffect* effect, float opt) noexcept {
    const int32_t playing = isPlaying;
    FillTimeRecord(timeInfo, static_cast<double>(controllerRate_.load(std::memory_order_relaxed)), SnapshotFlags(),
                   tempo, timeSigNumerator, timeSigDenominator, ppqPosition, static_cast<double>(samplePosition));
    const bool stopEdge = playing == 0 && wasPlaying == 1;
    wasPlaying = playing;
    if (stopEdge) [[unlikely]] SendStopEvent(effect, opt);
    return reinterpret_cast<intptr_t>(&timeInfo);
}

void VstCallBack::SendStopEvent(vst2::AEffect* effect, float opt) noexcept {
    vst2::VstMidiEvent event{};
    event.type = vst2::kVstMidiType;
    event.byteSize = VstInterface::kEventByteSize;
    std::memcpy(event.midiData, kAllNotesOff, sizeof kAllNotesOff);
    std::memcpy(stopEvent.get(), &event, sizeof event);
    vst2::VstEvents list{};
    list.numEvents = 1;
    list.reserved = 0;
    list.events[0] = reinterpret_cast<vst2::VstEvent*>(stopEvent.get());
    VstInterface::DispatchUngatedOnAudioThread(effect, vst2::effProcessEvents, 0, 0, &list, opt, vstInterface);
}

intptr_t VstCallBack::AnswerOtherTimeRequest() {
    if (!publishWanted_.load(std::memory_order_relaxed)) publishWanted_.store(true, std::memory_order_relaxed);
    const std::lock_guard<std::mutex> lock(otherTimeMutex_);
    int32_t flags = 0;
    int32_t numerator = 0;
    int32_t denominator = 0;
    double tempoNow = 0.0;
    double ppq = 0.0;
    double samples = 0.0;
    for (;;) {
        const uint32_t before = published_.sequence.load(std::memory_order_acquire);
        if ((before & 1u) != 0) {
            std::this_thread::yield();
            continue;
        }
        flags = published_.flags.load(std::memory_order_acquire);
        tempoNow = published_.tempo.load(std::memory_order_acquire);
        numerator = published_.timeSigNumerator.load(std::memory_order_acquire);
        denominator = published_.timeSigDenominator.load(std::memory_order_acquire);
        ppq = published_.ppqPosition.load(std::memory_order_acquire);
        samples = published_.samplePosition.load(std::memory_order_acquire);
        if (published_.sequence.load(std::memory_order_relaxed) == before) break;
    }
    FillTimeRecord(otherTimeInfo, static_cast<double>(controllerRate_.load(std::memory_order_relaxed)), flags,
                   tempoNow, numerator, denominator, ppq, samples);
    return reinterpret_cast<intptr_t>(&otherTimeInfo);
}

void VstCallBack::RequestParameterId(vst2::AEffect* effect, int32_t index, float opt, char* buffer) {
    std::memset(buffer, 0, kParamIdBufferSize);
    VstInterface::DispatchUngated(effect, vst2::effPrivateGetParameterId, index, 0, buffer, opt, vstInterface);
    // An effect that fills the whole buffer still leaves terminated text.
    buffer[kParamIdBufferSize - 1] = '\0';
}

intptr_t VstCallBack::HandleParameterGesture(vst2::AEffect* effect, int32_t opcode, int32_t index, float opt) {
    // The effect echoing the value it is being handed on this thread: the host already has it.
    if (deliveries_.HeldHere(index)) return 0;
    char id[kParamIdBufferSize];
    RequestParameterId(effect, index, opt, id);
    // No identifier written means no parameter. The empty identifier belongs to the master
    // bypass, which is not a parameter of the effect, so it must not be matched here.
    if (id[0] == '\0') return 0;
    const LinkUse use(*this);
    if (!use.Usable() || parameterManager == nullptr) return 0;
    AAX_IParameter* parameter = parameterManager->GetParameterByID(id);
    // Only the parameter mirrored for this very index: another index reporting the same
    // identifier (a duplicate, which the host never saw) must not move it.
    if (parameter == nullptr || parameter != MirroredParameter(index)) return 0;
    switch (opcode) {
        case vst2::audioMasterAutomate:
            // The effect's own value is the mirrored parameter's normalized value. A value the
            // host already has is not asked for again: linked controls reporting each other's
            // changes settle here.
            if (parameter->GetNormalizedValue() != static_cast<double>(opt)) {
                parameter->SetNormalizedValue(static_cast<double>(opt));
            }
            break;
        case vst2::audioMasterBeginEdit:
            mirrors_[index].openGestures.fetch_add(1, std::memory_order_relaxed);
            parameter->Touch();
            break;
        case vst2::audioMasterEndEdit: {
            std::atomic<int32_t>& open = mirrors_[index].openGestures;
            int32_t count = open.load(std::memory_order_relaxed);
            while (count > 0 && !open.compare_exchange_weak(count, count - 1, std::memory_order_relaxed)) {
            }
            if (count > 0) parameter->Release();
            break;
        }
        default:
            break;
    }
    return 0;
}

intptr_t VstCallBack::HandleDisplayUpdate(vst2::AEffect* effect, float opt) {
    if (effect == nullptr) return 0;
    // The host's parameters are set on its main thread only: an update from any other thread
    // (the effect's own, its audio thread) is taken up at the next main-thread idle call.
    if (platform::CurrentThreadTag() == mainThread_.load(std::memory_order_relaxed)) {
        ReadBackValues();
    } else if (!readBackWanted_.load(std::memory_order_relaxed)) {
        readBackWanted_.store(true, std::memory_order_relaxed);
    }
    const int32_t count = VstInterface::BoundedParameterCount(effect->numParams);
    char id[kParamIdBufferSize];
    for (int32_t i = 0; i < count; ++i) {
        RequestParameterId(effect, i, opt, id);
        const LinkUse use(*this);
        if (use.Usable() && editorGui != nullptr) editorGui->ParameterUpdated(id);
    }
    return 0;
}
