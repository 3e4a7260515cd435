// The null effect: the cheapest VST 2 effect there is, so that what remains of a wrapped run is
// the module's own cost. Its parameters, when it has any, are automatable, answer no properties
// and are named "p0000", "p0001", ... by the private identifier requests. Kept in its own
// translation unit so that the direct runs call it through the record's function pointers
// exactly as the module does.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "BenchSupport.h"

namespace bench {
namespace {

uint64_t gStatusSum = 0;
double gTempoSum = 0.0;

struct NullEffect {
    vst2::AEffect record{};
    vst2::AudioMasterCallback host = nullptr;
};

// Parameter index to identifier ("p0000" ...), and back; -1 for anything else.
void WriteParameterID(int32_t index, char* buffer, intptr_t capacity) {
    std::snprintf(buffer, static_cast<size_t>(capacity > 0 ? capacity : 32), "p%04d", static_cast<int>(index));
}

intptr_t FindParameterIndex(const vst2::AEffect& effect, const char* id) {
    int index = -1;
    char tail = 0;
    if (id == nullptr || std::sscanf(id, "p%4d%c", &index, &tail) != 1) return -1;
    return index >= 0 && index < effect.numParams ? index : -1;
}

intptr_t NullDispatcher(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float) {
    switch (opcode) {
        case vst2::effClose:
            delete static_cast<NullEffect*>(effect->object);
            return 1;
        case vst2::effCanBeAutomated:
            return index >= 0 && index < effect->numParams ? 1 : 0;
        case vst2::effPrivateGetParameterId:
            if (ptr == nullptr || value < 0 || index < 0 || index >= effect->numParams) return 0;
            WriteParameterID(index, static_cast<char*>(ptr), value);
            return 1;
        case vst2::effPrivateFindParameterIndex:
            return FindParameterIndex(*effect, static_cast<const char*>(ptr));
        default:
            break;
    }
    if (opcode == vst2::effProcessEvents && ptr != nullptr) {
        const auto* list = static_cast<const vst2::VstEvents*>(ptr);
        if (list->numEvents > 0 && list->events[0] != nullptr) {
            const auto* event = reinterpret_cast<const vst2::VstMidiEvent*>(list->events[0]);
            gStatusSum += static_cast<uint8_t>(event->midiData[0]);
        }
        return 1;
    }
    return 0;
}

void NullProcess(vst2::AEffect*, float**, float**, int32_t) {}

// Asks for the tempo once per block, as most effects do, and reads it.
void NullProcessAskingTime(vst2::AEffect* effect, float**, float**, int32_t) {
    const auto* self = static_cast<const NullEffect*>(effect->object);
    const intptr_t answer = self->host(effect, vst2::audioMasterGetTime, 0, vst2::kVstTempoValid, nullptr, 0.0f);
    const auto* time = reinterpret_cast<const vst2::VstTimeInfo*>(answer);
    if (time != nullptr && (time->flags & vst2::kVstTempoValid) != 0) gTempoSum += time->tempo;
}
void NullSetParameter(vst2::AEffect*, int32_t, float) {}
float NullGetParameter(vst2::AEffect*, int32_t) { return 0.0f; }

}  // namespace

vst2::AEffect* CreateNullEffect(vst2::AudioMasterCallback host, int32_t parameters, bool asksTime) {
    auto* effect = new NullEffect();
    effect->host = host;
    vst2::AEffect& record = effect->record;
    record.magic = vst2::kEffectMagic;
    record.dispatcher = &NullDispatcher;
    record.process = &NullProcess;
    record.setParameter = &NullSetParameter;
    record.getParameter = &NullGetParameter;
    record.numPrograms = 1;
    record.numParams = parameters;
    record.numInputs = 2;
    record.numOutputs = 2;
    record.flags = vst2::effFlagsCanReplacing;
    record.ioRatio = 1.0f;
    record.object = effect;
    record.uniqueID = 0x4E756C6C;  // 'Null'
    record.version = 1;
    record.processReplacing = asksTime && host != nullptr ? &NullProcessAskingTime : &NullProcess;
    return &record;
}

uint64_t NullEffectStatusSum() { return gStatusSum; }
double NullEffectTempoSum() { return gTempoSum; }

}  // namespace bench
