#include "SlotObjects.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace aaxhost {

namespace {

std::atomic<int64_t> gTrapCount{0};
std::atomic<const char*> gTrapObject{nullptr};
std::atomic<int32_t> gTrapSlot{-1};

// Trap entries after each table's last slot (kTrapSlots of them): a layout that puts an
// operation later than the host's table reaches one of these.
template <const char* const* Object, int32_t Slot>
intptr_t Trap(void*) {
    SlotTraps::Record(*Object, Slot);
    return 0;
}

template <const char* const* Object, int32_t First, size_t... Index>
auto Traps(std::index_sequence<Index...>) {
    return std::array<SlotFunction, sizeof...(Index)>{
        reinterpret_cast<SlotFunction>(&Trap<Object, First + static_cast<int32_t>(Index)>)...};
}

// Builds a table: the slots given, then the traps.
template <const char* const* Object, size_t N>
auto Table(const std::array<SlotFunction, N>& slots) {
    std::array<SlotFunction, N + kTrapSlots> table{};
    const auto traps = Traps<Object, static_cast<int32_t>(N)>(std::make_index_sequence<kTrapSlots>());
    for (size_t i = 0; i < N; ++i) table[i] = slots[i];
    for (size_t i = 0; i < kTrapSlots; ++i) table[N + i] = traps[i];
    return table;
}

template <typename Function>
SlotFunction Slot(Function function) {
    return reinterpret_cast<SlotFunction>(function);
}

const char* const kTransportName = "transport";
const char* const kMidiNodeName = "MIDI node";
const char* const kTextName = "string";

// Slot 0 of a host object: the module has no business destroying it.
template <const char* const* Object>
void* RefuseDestroy(SlotObject* self, uint32_t) {
    SlotTraps::Record(*Object, 0);
    return self;
}

// ---------------------------------------------------------------------------------------------
// String

TextObject& TextOf(SlotObject* self) { return *static_cast<TextObject*>(self); }
const TextObject& TextOf(const SlotObject* self) { return *static_cast<const TextObject*>(self); }

uint32_t TextLength(const SlotObject* self) { return static_cast<uint32_t>(TextOf(self).Str().size()); }
uint32_t TextMaxLength(const SlotObject*) { return 0xFFFFFFFEu; }
const char* TextGet(const SlotObject* self) { return TextOf(self).Get(); }
void TextSet(SlotObject* self, const char* text) { TextOf(self).Set(text); }
SlotObject* TextAssign(SlotObject* self, const char* text) {
    TextOf(self).Set(text);
    return self;
}
// The source is any string object: read through its own slot 3, as the module's strings are.
SlotObject* TextAssignString(SlotObject* self, const SlotObject* source) {
    if (source != self) TextOf(self).Set(module_slots::Text(source).c_str());
    return self;
}

const SlotFunction* TextTable() {
    static const auto table = Table<&kTextName>(std::array<SlotFunction, 7>{
        Slot(&RefuseDestroy<&kTextName>), Slot(&TextLength), Slot(&TextMaxLength), Slot(&TextGet), Slot(&TextSet),
        Slot(&TextAssign), Slot(&TextAssignString)});
    return table.data();
}

// Calls slot `slot` of a module object as a function taking the object first.
template <typename Result, typename... Args>
Result CallSlot(const void* object, int32_t slot, Args... args) {
    const auto* const* table = *static_cast<const void* const* const*>(object);
    auto* function = reinterpret_cast<Result (*)(const void*, Args...)>(table[slot]);
    return function(object, args...);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// MIDI node

struct MidiNodeSlots {
    static MidiNodeObject& Node(SlotObject* self) { return *static_cast<MidiNodeObject*>(self); }
    static MidiStreamRecord* NodeBuffer(SlotObject* self) {
        MidiNodeObject& node = Node(self);
        CountRequest(node.bufferRequests);
        return node.streamMissing_ ? nullptr : &node.stream_;
    }
    static int32_t PostPacket(SlotObject* self, const MidiPacketRecord* packet) {
        MidiNodeObject& node = Node(self);
        if (packet == nullptr || node.outgoingCount_ >= node.outgoing_.size()) return -20004;
        node.outgoing_[node.outgoingCount_++] = *packet;
        return 0;
    }
    static void* Transport(SlotObject* self) {
        MidiNodeObject& node = Node(self);
        CountRequest(node.transportRequests);
        return node.transport_ != nullptr ? node.transport_->Binary() : nullptr;
    }
};

namespace {
const SlotFunction* MidiNodeTable() {
    static const auto table = Table<&kMidiNodeName>(std::array<SlotFunction, 4>{
        Slot(&RefuseDestroy<&kMidiNodeName>), Slot(&MidiNodeSlots::NodeBuffer), Slot(&MidiNodeSlots::PostPacket),
        Slot(&MidiNodeSlots::Transport)});
    return table.data();
}
}  // namespace

void SlotTraps::Record(const char* object, int32_t slot) {
    gTrapObject.store(object, std::memory_order_relaxed);
    gTrapSlot.store(slot, std::memory_order_relaxed);
    gTrapCount.fetch_add(1, std::memory_order_acq_rel);
}

int64_t SlotTraps::Count() { return gTrapCount.load(std::memory_order_acquire); }

std::string SlotTraps::Latest() {
    const char* object = gTrapObject.load(std::memory_order_relaxed);
    if (object == nullptr) return "";
    return std::string(object) + " slot " + std::to_string(gTrapSlot.load(std::memory_order_relaxed));
}

void SlotTraps::Reset() {
    gTrapCount.store(0);
    gTrapObject.store(nullptr);
    gTrapSlot.store(-1);
}

TransportTable MakeTransportTable(const std::array<SlotFunction, kTransportSlots - 1>& answers) {
    std::array<SlotFunction, kTransportSlots> slots{};
    slots[0] = Slot(&RefuseDestroy<&kTransportName>);
    for (size_t i = 1; i < kTransportSlots; ++i) slots[i] = answers[i - 1];
    return Table<&kTransportName>(slots);
}

MidiNodeObject::MidiNodeObject(int32_t nodeType, int32_t capacity, TransportObject* transport)
    : SlotObject{MidiNodeTable()}, transport_(transport), type_(nodeType) {
    const auto size = static_cast<size_t>(std::max(capacity, 1));
    incoming_.reserve(size);
    outgoing_.resize(size);
    stream_.packets = incoming_.data();
}

bool MidiNodeObject::Add(const MidiPacketRecord& packet) {
    if (incoming_.size() >= incoming_.capacity()) return false;
    incoming_.push_back(packet);
    stream_.count = static_cast<uint32_t>(incoming_.size());
    stream_.packets = incoming_.data();
    return true;
}

bool MidiNodeObject::Add(uint32_t timestamp, uint8_t status, uint8_t data1, uint8_t data2) {
    MidiPacketRecord packet;
    packet.timestamp = timestamp;
    packet.length = 3;
    packet.data[0] = status;
    packet.data[1] = data1;
    packet.data[2] = data2;
    return Add(packet);
}

void MidiNodeObject::ClearIncoming() {
    incoming_.clear();
    stream_.count = 0;
    stream_.packets = incoming_.data();
}

std::vector<MidiPacketRecord> MidiNodeObject::TakeOutgoing() {
    std::vector<MidiPacketRecord> taken(outgoing_.begin(), outgoing_.begin() + static_cast<ptrdiff_t>(outgoingCount_));
    outgoingCount_ = 0;
    return taken;
}

TextObject::TextObject() : SlotObject{TextTable()} {}
TextObject::TextObject(const char* text) : SlotObject{TextTable()}, text_(text != nullptr ? text : "") {}
TextObject::TextObject(const TextObject& other) : SlotObject{TextTable()}, text_(other.text_) {}
TextObject& TextObject::operator=(const TextObject& other) {
    text_ = other.text_;
    return *this;
}

namespace module_slots {

std::string Text(const void* moduleString) {
    if (moduleString == nullptr) return "";
    const uint32_t length = CallSlot<uint32_t>(moduleString, 1);
    const char* text = CallSlot<const char*>(moduleString, 3);
    if (text == nullptr) return "";
    return std::string(text, strnlen(text, length));
}

ParameterView ReadParameter(const void* parameter) {
    ParameterView view;
    if (parameter == nullptr) return view;
    const char* identifier = CallSlot<const char*>(parameter, 1);
    view.identifier = identifier != nullptr ? identifier : "";
    view.name = Text(CallSlot<const void*>(parameter, 3));
    view.automatable = CallSlot<bool>(parameter, 7);
    view.normalized = CallSlot<double>(parameter, 12);
    view.steps = CallSlot<uint32_t>(parameter, 17);
    view.type = CallSlot<int32_t>(parameter, 37);
    return view;
}

}  // namespace module_slots

}  // namespace aaxhost
