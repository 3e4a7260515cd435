#include "effect_harness.h"

#include <algorithm>
#include <string>

#include "platform/platform.h"
#include "support/registry_sandbox.h"

namespace effects_test {

vst2::MainProc EffectEntryPoint(const char* name) {
    static platform::LibraryHandle library = platform::LoadLibraryFile(
        (testsupport::BinaryDirectory() + platform::kPathSeparatorText + platform::kEffectLibraryFileName).c_str());
    if (library == nullptr) return nullptr;
    return reinterpret_cast<vst2::MainProc>(platform::LookupSymbol(library, name));
}

FakeHost::FakeHost() {
    calls.reserve(4096);
    stopEvent_.type = vst2::kVstMidiType;
    stopEvent_.byteSize = 24;
    stopEvent_.midiData[0] = static_cast<char>(0xB0);
    stopEvent_.midiData[1] = 0x7B;
    stopEvents_.numEvents = 1;
    stopEvents_.events[0] = reinterpret_cast<vst2::VstEvent*>(&stopEvent_);
}

intptr_t FakeHost::Callback(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                            float opt) {
    if (opcode == vst2::audioMasterVersion) return 2400;
    FakeHost* host = effect != nullptr ? static_cast<FakeHost*>(effect->user) : nullptr;
    if (host == nullptr) return 0;
    if (opcode == vst2::audioMasterGetTime) {
        ++host->timeRequests;
        if (host->allNotesOffInNextTimeRequest) {
            host->allNotesOffInNextTimeRequest = false;
            effect->dispatcher(effect, vst2::effProcessEvents, 0, 0, &host->stopEvents_, 0.0f);
        }
        return host->answerTime ? reinterpret_cast<intptr_t>(&host->time) : 0;
    }
    (void)ptr;
    if (host->calls.size() < host->calls.capacity()) host->calls.push_back({opcode, index, value, opt});
    if (opcode == vst2::audioMasterAutomate && host->echoAutomation) effect->setParameter(effect, index, opt);
    return 0;
}

std::vector<HostCall> FakeHost::Calls(int32_t opcode) const {
    std::vector<HostCall> found;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(found),
                 [opcode](const HostCall& call) { return call.opcode == opcode; });
    return found;
}

Stereo Impulse(size_t length, float amplitude) {
    Stereo signal{std::vector<float>(length, 0.0f), std::vector<float>(length, 0.0f)};
    if (length > 0) signal.left[0] = signal.right[0] = amplitude;
    return signal;
}

EffectInstance::EffectInstance(FakeHost* host) {
    vst2::MainProc entry = EffectEntryPoint();
    if (entry == nullptr) return;
    effect_ = entry(host != nullptr ? &FakeHost::Callback : nullptr);
    if (effect_ != nullptr) effect_->user = host;
}

EffectInstance::~EffectInstance() {
    if (effect_ != nullptr) effect_->dispatcher(effect_, vst2::effClose, 0, 0, nullptr, 0.0f);
}

intptr_t EffectInstance::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void EffectInstance::Set(int32_t index, float value) { effect_->setParameter(effect_, index, value); }

float EffectInstance::Value(int32_t index) const { return effect_->getParameter(effect_, index); }

void EffectInstance::Start(float sampleRate, int32_t blockSize) {
    Dispatch(vst2::effSetSampleRate, 0, 0, nullptr, sampleRate);
    Dispatch(vst2::effSetBlockSize, 0, blockSize);
    Dispatch(vst2::effOpen);
    Dispatch(vst2::effMainsChanged, 0, 1);
}

Stereo EffectInstance::Render(const Stereo& input, int32_t block) {
    Stereo output{std::vector<float>(input.left.size()), std::vector<float>(input.right.size())};
    for (size_t start = 0; start < input.left.size(); start += static_cast<size_t>(block)) {
        const auto frames = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(block), input.left.size() - start));
        float* in[2] = {const_cast<float*>(input.left.data() + start), const_cast<float*>(input.right.data() + start)};
        float* out[2] = {output.left.data() + start, output.right.data() + start};
        effect_->processReplacing(effect_, in, out, frames);
    }
    return output;
}

std::vector<float> EffectInstance::RenderMono(const std::vector<float>& input, int32_t block) {
    std::vector<float> output(input.size());
    for (size_t start = 0; start < input.size(); start += static_cast<size_t>(block)) {
        const auto frames = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(block), input.size() - start));
        float* in[2] = {const_cast<float*>(input.data() + start), nullptr};
        float* out[2] = {output.data() + start, nullptr};
        effect_->processReplacing(effect_, in, out, frames);
    }
    return output;
}

void EffectInstance::SendMidi(uint8_t status, uint8_t data1, uint8_t data2, int32_t deltaFrames) {
    vst2::VstMidiEvent event{};
    event.type = vst2::kVstMidiType;
    event.byteSize = 24;
    event.deltaFrames = deltaFrames;
    event.midiData[0] = static_cast<char>(status);
    event.midiData[1] = static_cast<char>(data1);
    event.midiData[2] = static_cast<char>(data2);
    vst2::VstEvents events{};
    events.numEvents = 1;
    events.events[0] = reinterpret_cast<vst2::VstEvent*>(&event);
    Dispatch(vst2::effProcessEvents, 0, 0, &events);
}

void ApplyImpulseSettings(EffectInstance& effect) {
    effect.Set(0, 0.25f);  // time: 500 ms
    effect.Set(1, 0.5f);   // feedback: 0.475
    effect.Set(2, 1.0f);   // mix: wet only
    effect.Set(6, 1.0f);   // tone: unfiltered
    effect.Set(7, 0.5f);   // output: unity
}

}  // namespace effects_test
