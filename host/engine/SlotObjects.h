// The host's objects that the module calls by slot number (its strings, MIDI nodes and the
// transport a node hands out), built as a host compiled by any compiler hands them over: an
// object whose first word points at a table of plain functions, each taking the object first,
// in the slot order of the published interfaces. Nothing here is declared through the module's
// interface headers, so a module that calls a wrong slot reaches a wrong function here rather
// than one its own compiler agreed on. Entries past the last slot are traps that record the call
// instead of running off the table, and so is slot 0 (destroy), which the module never calls on
// a host object.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace aaxhost {

using SlotFunction = void (*)();

struct SlotObject {
    const SlotFunction* table;
};

// The MIDI records as the host lays them out: 16-byte packets, a count and a packet pointer.
struct MidiPacketRecord {
    uint32_t timestamp = 0;  // sample frames into the buffer
    uint32_t length = 0;
    uint8_t data[4] = {};
    bool immediate = false;
};
static_assert(sizeof(MidiPacketRecord) == 16);

struct MidiStreamRecord {
    uint32_t count = 0;
    MidiPacketRecord* packets = nullptr;
};
static_assert(sizeof(MidiStreamRecord) == 16);

// Counts what the module asked of a host object. One thread advances a count (the audio thread,
// for what the processing asks) and any thread may read it, so a plain load and store do: no
// locked read-modify-write on the audio path, where a real host would not spend one either. Two
// threads counting the same object at once may lose a count; the counts only tell whether and
// roughly how often the module asked.
inline void CountRequest(std::atomic<int64_t>& count) {
    count.store(count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

// [any] Calls the module made to a trap entry or to slot 0 of a host object. Lock-free, so the
// audio thread may record.
class SlotTraps {
public:
    static void Record(const char* object, int32_t slot);
    static int64_t Count();
    // "transport slot 14" for the latest call, or empty.
    static std::string Latest();
    static void Reset();
};

// The published result code of a query the host does not answer.
constexpr int32_t kTransportUnimplemented = -20009;

// Where a transport object takes its answers from. Each returns the host's result code and leaves
// its outputs alone unless it succeeds. Tempo, meter, play state, sample location and bar/beat
// position every source answers; the other queries answer "unimplemented" unless a source has them.
class TransportSource {
public:
    virtual ~TransportSource() = default;
    virtual int32_t Tempo(double* bpm) const = 0;
    virtual int32_t Meter(int32_t* numerator, int32_t* denominator) const = 0;
    virtual int32_t Playing(bool* playing) const = 0;
    virtual int32_t TickPosition(int64_t* /*ticks*/) const { return kTransportUnimplemented; }
    virtual int32_t LoopPosition(bool* /*looping*/, int64_t* /*startTick*/, int64_t* /*endTick*/) const {
        return kTransportUnimplemented;
    }
    virtual int32_t SampleLocation(int64_t* location) const = 0;
    virtual int32_t CustomTickPosition(int64_t* /*ticks*/, int64_t /*location*/) const { return kTransportUnimplemented; }
    virtual int32_t BarBeatPosition(int32_t* bars, int32_t* beats, int64_t* displayTicks, int64_t location) const = 0;
    virtual int32_t TicksPerQuarter(uint32_t* /*ticks*/) const { return kTransportUnimplemented; }
    virtual int32_t TicksPerBeat(uint32_t* /*ticks*/) const { return kTransportUnimplemented; }
    virtual int32_t SelectionStart(int64_t* /*location*/) const { return kTransportUnimplemented; }
    virtual int32_t TimeCode(int32_t* /*frameRate*/, int64_t* /*offset*/) const { return kTransportUnimplemented; }
    virtual int32_t FeetFrames(int32_t* /*rate*/, int64_t* /*offset*/) const { return kTransportUnimplemented; }
};

// The transport object's table: slot 0 (destroy), the thirteen answers, then the traps.
constexpr size_t kTransportSlots = 14;
constexpr size_t kTrapSlots = 8;
using TransportTable = std::array<SlotFunction, kTransportSlots + kTrapSlots>;
// Completes a table from the answers of slots 1 to 13, in slot order.
TransportTable MakeTransportTable(const std::array<SlotFunction, kTransportSlots - 1>& answers);

template <class SourceType>
const SlotFunction* TransportSlots();

// [any] The transport a MIDI node hands out: slots 0 to 13. The table is built for the source's
// own type, so each answer is one call: a final source's answers are called directly (inlined
// where their definitions are in sight), not through its virtual table a second time.
class TransportObject : public SlotObject {
public:
    template <class SourceType>
    explicit TransportObject(const SourceType* source) : SlotObject{TransportSlots<SourceType>()}, source_(source) {}
    TransportObject(const TransportObject&) = delete;
    TransportObject& operator=(const TransportObject&) = delete;

    const TransportSource* Source() const { return source_; }
    // What the module receives.
    void* Binary() { return static_cast<SlotObject*>(this); }

private:
    const TransportSource* source_;
};

// The slot functions of a transport whose source is a SourceType.
template <class SourceType>
struct TransportAnswers {
    static const SourceType& Of(const SlotObject* self) {
        return *static_cast<const SourceType*>(static_cast<const TransportObject*>(self)->Source());
    }
    static int32_t Tempo(const SlotObject* self, double* bpm) { return Of(self).Tempo(bpm); }
    static int32_t Meter(const SlotObject* self, int32_t* numerator, int32_t* denominator) {
        return Of(self).Meter(numerator, denominator);
    }
    static int32_t Playing(const SlotObject* self, bool* playing) { return Of(self).Playing(playing); }
    static int32_t TickPosition(const SlotObject* self, int64_t* ticks) { return Of(self).TickPosition(ticks); }
    static int32_t LoopPosition(const SlotObject* self, bool* looping, int64_t* start, int64_t* end) {
        return Of(self).LoopPosition(looping, start, end);
    }
    static int32_t SampleLocation(const SlotObject* self, int64_t* location) {
        return Of(self).SampleLocation(location);
    }
    static int32_t CustomTickPosition(const SlotObject* self, int64_t* ticks, int64_t location) {
        return Of(self).CustomTickPosition(ticks, location);
    }
    static int32_t BarBeatPosition(const SlotObject* self, int32_t* bars, int32_t* beats, int64_t* ticks,
                                   int64_t location) {
        return Of(self).BarBeatPosition(bars, beats, ticks, location);
    }
    static int32_t TicksPerQuarter(const SlotObject* self, uint32_t* ticks) { return Of(self).TicksPerQuarter(ticks); }
    static int32_t TicksPerBeat(const SlotObject* self, uint32_t* ticks) { return Of(self).TicksPerBeat(ticks); }
    static int32_t SelectionStart(const SlotObject* self, int64_t* location) {
        return Of(self).SelectionStart(location);
    }
    static int32_t TimeCode(const SlotObject* self, int32_t* rate, int64_t* offset) {
        return Of(self).TimeCode(rate, offset);
    }
    static int32_t FeetFrames(const SlotObject* self, int32_t* rate, int64_t* offset) {
        return Of(self).FeetFrames(rate, offset);
    }
};

template <class SourceType>
const SlotFunction* TransportSlots() {
    static_assert(std::is_base_of_v<TransportSource, SourceType>);
    using A = TransportAnswers<SourceType>;
    static const TransportTable table = MakeTransportTable({
        reinterpret_cast<SlotFunction>(&A::Tempo), reinterpret_cast<SlotFunction>(&A::Meter),
        reinterpret_cast<SlotFunction>(&A::Playing), reinterpret_cast<SlotFunction>(&A::TickPosition),
        reinterpret_cast<SlotFunction>(&A::LoopPosition), reinterpret_cast<SlotFunction>(&A::SampleLocation),
        reinterpret_cast<SlotFunction>(&A::CustomTickPosition), reinterpret_cast<SlotFunction>(&A::BarBeatPosition),
        reinterpret_cast<SlotFunction>(&A::TicksPerQuarter), reinterpret_cast<SlotFunction>(&A::TicksPerBeat),
        reinterpret_cast<SlotFunction>(&A::SelectionStart), reinterpret_cast<SlotFunction>(&A::TimeCode),
        reinterpret_cast<SlotFunction>(&A::FeetFrames)});
    return table.data();
}

// [audio] for what the module calls; [main] between buffers for the rest. A MIDI node: slots 0
// to 3 (destroy, node buffer, post packet, transport). Holds at most `capacity` packets each way
// in storage reserved up front, so reading it allocates nothing. What the processing's two calls
// read and count (the table, the counts, the transport, the stream) is the object's first cache
// line.
class alignas(64) MidiNodeObject : public SlotObject {
public:
    MidiNodeObject(int32_t nodeType, int32_t capacity, TransportObject* transport = nullptr);
    MidiNodeObject(const MidiNodeObject&) = delete;  // the stream points into this object
    MidiNodeObject& operator=(const MidiNodeObject&) = delete;

    void* Binary() { return static_cast<SlotObject*>(this); }
    int32_t NodeType() const { return type_; }

    // [main] False when the node is full.
    bool Add(const MidiPacketRecord& packet);
    bool Add(uint32_t timestamp, uint8_t status, uint8_t data1, uint8_t data2);
    void ClearIncoming();
    MidiPacketRecord& Incoming(uint32_t index) { return incoming_[index]; }
    std::vector<MidiPacketRecord> TakeOutgoing();
    void SetTransport(TransportObject* transport) { transport_ = transport; }
    // Answers the node-buffer slot with null, as a host without a stream would.
    void SetStreamMissing(bool missing) { streamMissing_ = missing; }

    // How often the module asked for the transport and for the stream (see CountRequest).
    std::atomic<int64_t> transportRequests{0};
    std::atomic<int64_t> bufferRequests{0};

private:
    friend struct MidiNodeSlots;
    TransportObject* transport_;
    MidiStreamRecord stream_;
    int32_t type_;
    bool streamMissing_ = false;
    std::vector<MidiPacketRecord> incoming_;
    std::vector<MidiPacketRecord> outgoing_;
    size_t outgoingCount_ = 0;
};

// [main] A string the host owns and hands to the module to fill or to read: slots 0 to 6
// (destroy, length, maximum length, get, set, assign text, assign string).
class TextObject : public SlotObject {
public:
    TextObject();
    explicit TextObject(const char* text);
    TextObject(const TextObject& other);
    TextObject& operator=(const TextObject& other);

    void* Binary() { return static_cast<SlotObject*>(this); }
    const void* Binary() const { return static_cast<const SlotObject*>(this); }
    const std::string& Str() const { return text_; }
    const char* Get() const { return text_.c_str(); }
    void Set(const char* text) { text_ = text != nullptr ? text : ""; }

private:
    std::string text_;
};

// Reads of the module's own objects by slot number. `object` is what the module handed over.
namespace module_slots {

// The text of a module string, through its Length (1) and Get (3) slots.
std::string Text(const void* moduleString);

// What a host reads of a parameter object (the data model's slot 16 gives it).
struct ParameterView {
    std::string identifier;  // slot 1
    std::string name;        // slot 3, read through the string's own slots
    bool automatable = false;  // slot 7
    double normalized = 0.0;   // slot 12
    uint32_t steps = 0;        // slot 17
    int32_t type = -1;         // slot 37
};
ParameterView ReadParameter(const void* parameter);

}  // namespace module_slots

}  // namespace aaxhost
