#include "support/RecordingEffect.h"

#include <algorithm>
#include <cstring>

namespace testsupport {
namespace {

constexpr size_t kDefaultIdCapacity = 32;
constexpr size_t kNameBufferSize = 256;

// Writes text within capacity bytes, always terminated.
void WriteText(const std::string& text, char* buffer, size_t capacity) {
    if (buffer == nullptr || capacity == 0) return;
    const size_t length = std::min(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

}  // namespace

RecordingEffect::RecordingEffect() {
    effect_.magic = vst2::kEffectMagic;
    effect_.dispatcher = &DispatcherEntry;
    effect_.setParameter = &SetParameterEntry;
    effect_.getParameter = &GetParameterEntry;
    effect_.processReplacing = &ProcessReplacingEntry;
    effect_.numInputs = 2;
    effect_.numOutputs = 2;
    effect_.flags = vst2::effFlagsCanReplacing;
    effect_.object = this;
}

RecordingEffect* RecordingEffect::From(vst2::AEffect* effect) {
    return effect != nullptr ? static_cast<RecordingEffect*>(effect->object) : nullptr;
}

float RecordingEffect::ParameterValue(int32_t index) const {
    auto found = values_.find(index);
    return found != values_.end() ? found->second : 0.0f;
}

vst2::AEffect* RecordingEffect::AttachHost(vst2::AudioMasterCallback hostCallback) {
    host_ = hostCallback;
    for (const HostRequest& request : onMain_) CallHost(request);
    return &effect_;
}

intptr_t RecordingEffect::CallHost(const HostRequest& request) {
    HostReply reply;
    reply.request = request;
    if (host_ != nullptr) {
        reply.result = host_(&effect_, request.opcode, request.index, request.value, request.ptr, request.opt);
    }
    if (request.opcode == vst2::audioMasterGetTime && reply.result != 0) {
        reply.hasTime = true;
        std::memcpy(&reply.time, reinterpret_cast<const void*>(reply.result), sizeof reply.time);
    }
    hostReplies.push_back(reply);
    return reply.result;
}

size_t RecordingEffect::FlushReports() {
    std::vector<HostRequest> reports;
    reports.swap(heldReports_);
    for (const HostRequest& report : reports) CallHost(report);
    return reports.size();
}

void RecordingEffect::ReserveRecords(size_t count) {
    calls.reserve(count);
    hostReplies.reserve(count);
}

void RecordingEffect::ClearRecords() {
    calls.clear();
    hostReplies.clear();
}

std::vector<int32_t> RecordingEffect::Opcodes() const {
    std::vector<int32_t> opcodes;
    for (const RecordedCall& call : calls) {
        if (call.kind == RecordedCall::Kind::Dispatcher) opcodes.push_back(call.opcode);
    }
    return opcodes;
}

std::vector<RecordedCall> RecordingEffect::CallsWithOpcode(int32_t opcode) const {
    std::vector<RecordedCall> found;
    for (const RecordedCall& call : calls) {
        if (call.kind == RecordedCall::Kind::Dispatcher && call.opcode == opcode) found.push_back(call);
    }
    return found;
}

size_t RecordingEffect::CountOpcode(int32_t opcode) const {
    return static_cast<size_t>(std::count_if(calls.begin(), calls.end(), [opcode](const RecordedCall& call) {
        return call.kind == RecordedCall::Kind::Dispatcher && call.opcode == opcode;
    }));
}

size_t RecordingEffect::CountKind(RecordedCall::Kind kind) const {
    return static_cast<size_t>(
        std::count_if(calls.begin(), calls.end(), [kind](const RecordedCall& call) { return call.kind == kind; }));
}

intptr_t RecordingEffect::DispatcherEntry(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                          void* ptr, float opt) {
    return From(effect)->Dispatch(opcode, index, value, ptr, opt);
}

void RecordingEffect::SetParameterEntry(vst2::AEffect* effect, int32_t index, float value) {
    RecordingEffect* self = From(effect);
    RecordedCall call;
    call.kind = RecordedCall::Kind::SetParameter;
    call.index = index;
    call.opt = value;
    self->calls.push_back(std::move(call));
    self->values_[index] = value;
    const int32_t count = self->effect_.numParams > 0 ? self->effect_.numParams : 1;
    for (const auto& [opcode, offset] : self->onSetParameter_) {
        const HostRequest report{opcode, (index + offset) % count, 0, nullptr, value};
        if (self->deferReports_) {
            self->heldReports_.push_back(report);
        } else {
            self->CallHost(report);
        }
    }
}

float RecordingEffect::GetParameterEntry(vst2::AEffect* effect, int32_t index) {
    RecordingEffect* self = From(effect);
    RecordedCall call;
    call.kind = RecordedCall::Kind::GetParameter;
    call.index = index;
    self->calls.push_back(std::move(call));
    return self->ParameterValue(index);
}

void RecordingEffect::ProcessReplacingEntry(vst2::AEffect* effect, float** inputs, float** outputs,
                                            int32_t frames) {
    From(effect)->Process(inputs, outputs, frames, false);
}

void RecordingEffect::AccumulatingEntry(vst2::AEffect* effect, float** inputs, float** outputs, int32_t frames) {
    From(effect)->Process(inputs, outputs, frames, true);
}

void RecordingEffect::UseAccumulatingProcessOnly() {
    effect_.process = &AccumulatingEntry;
    effect_.processReplacing = nullptr;
    effect_.flags &= ~vst2::effFlagsCanReplacing;
}

void RecordingEffect::Process(float** inputs, float** outputs, int32_t frames, bool accumulate) {
    RecordedCall call;
    call.kind = accumulate ? RecordedCall::Kind::Process : RecordedCall::Kind::ProcessReplacing;
    call.inputs = inputs;
    call.outputs = outputs;
    call.frames = frames;
    call.numOutputs = effect_.numOutputs;
    calls.push_back(std::move(call));
    for (const HostRequest& request : onProcess_) CallHost(request);
    if (inputs != nullptr && outputs != nullptr) {
        for (int channel = 0; channel < effect_.numOutputs; ++channel) {
            float* const output = outputs[channel];
            if (output == nullptr) continue;
            const float* input = channel < effect_.numInputs ? inputs[channel] : nullptr;
            for (int32_t i = 0; i < frames; ++i) {
                const float sample = input != nullptr ? input[i] * gain_ : 0.0f;
                output[i] = accumulate ? output[i] + sample : sample;
            }
        }
    }
    if (++audioCalls_ == channelChange_.call) {
        effect_.numInputs = channelChange_.inputs;
        effect_.numOutputs = channelChange_.outputs;
        if (channelChange_.announce) CallHost({vst2::audioMasterIOChanged});
    }
}

intptr_t RecordingEffect::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    RecordedCall call;
    call.kind = RecordedCall::Kind::Dispatcher;
    call.opcode = opcode;
    call.index = index;
    call.value = value;
    call.ptr = ptr;
    call.opt = opt;
    if (opcode == vst2::effPrivateFindParameterIndex && ptr != nullptr) {
        call.text = static_cast<const char*>(ptr);
    } else if (opcode == vst2::effPrivateEditorRedraw && ptr != nullptr) {
        call.hasRect = true;
        std::memcpy(&call.rect, ptr, sizeof call.rect);
    } else if (opcode == vst2::effSetChunk && ptr != nullptr && value > 0) {
        const auto* bytes = static_cast<const uint8_t*>(ptr);
        call.bytes.assign(bytes, bytes + value);
        receivedChunk = call.bytes;
    } else if (opcode == vst2::effProcessEvents && ptr != nullptr) {
        const auto* list = static_cast<const vst2::VstEvents*>(ptr);
        call.numEvents = list->numEvents;
        call.eventsReserved = list->reserved;
        for (int32_t i = 0; i < list->numEvents && i < RecordedCall::kMaxCopiedEvents; ++i) {
            if (list->events[i] != nullptr) std::memcpy(&call.events[i], list->events[i], sizeof call.events[i]);
        }
    }
    calls.push_back(std::move(call));

    for (const auto& [trigger, request] : onOpcode_) {
        if (trigger == opcode) CallHost(request);
    }
    const intptr_t answer = DefaultAnswer(opcode, index, value, ptr);
    auto overridden = answers_.find(opcode);
    return overridden != answers_.end() ? overridden->second : answer;
}

intptr_t RecordingEffect::DefaultAnswer(int32_t opcode, int32_t index, intptr_t value, void* ptr) {
    switch (opcode) {
        case vst2::effPrivateGetParameterId: {
            auto found = ids_.find(index);
            if (found == ids_.end()) return 0;
            WriteText(found->second, static_cast<char*>(ptr),
                      value > 0 ? static_cast<size_t>(value) : kDefaultIdCapacity);
            return 0;
        }
        case vst2::effPrivateFindParameterIndex: {
            if (ptr == nullptr) return -1;
            const std::string wanted = static_cast<const char*>(ptr);
            for (const auto& [parameterIndex, id] : ids_) {
                if (id == wanted) return parameterIndex;
            }
            return -1;
        }
        case vst2::effGetParamName: {
            auto found = names_.find(index);
            if (found == names_.end() || ptr == nullptr) return 0;
            // As much as a host's 256 bytes hold, without a terminator when it fills them.
            const std::string& name = found->second;
            std::memcpy(ptr, name.c_str(), std::min(name.size() + 1, kNameBufferSize));
            return 0;
        }
        case vst2::effGetParameterProperties: {
            auto found = properties_.find(index);
            if (found == properties_.end() || ptr == nullptr) return 0;
            std::memcpy(ptr, &found->second, sizeof found->second);
            return 1;
        }
        case vst2::effCanBeAutomated: {
            auto found = automatable_.find(index);
            return found == automatable_.end() || found->second ? 1 : 0;
        }
        case vst2::effGetChunk:
            if (ptr != nullptr) *static_cast<void**>(ptr) = chunk_.empty() ? nullptr : chunk_.data();
            return static_cast<intptr_t>(chunk_.size());
        case vst2::effSetChunk:
            return 1;
        case vst2::effEditGetRect:
            if (!rect_ || ptr == nullptr) return 0;
            rectStorage_ = *rect_;
            *static_cast<vst2::ERect**>(ptr) = &rectStorage_;
            return 1;
        case vst2::effEditOpen:
            return 1;
        default:
            return 0;
    }
}

}  // namespace testsupport
