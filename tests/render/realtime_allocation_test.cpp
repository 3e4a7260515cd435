// Proves that the processing callback allocates nothing: every form of the global operator new in
// this test binary is replaced by a counting one, and a batch of instances is run with the
// counter armed. (malloc itself cannot be hooked portably; code in the callback's path reaches
// the heap only through operator new.)
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include <gtest/gtest.h>

#include "RenderInstance.h"
#include "render/ProcessCallback.h"

namespace {

std::atomic<bool> countingArmed{false};
std::atomic<int64_t> allocationsWhileArmed{0};
std::atomic<int64_t> releasesWhileArmed{0};

void* CountedAllocate(std::size_t size) {
    if (countingArmed.load(std::memory_order_relaxed)) allocationsWhileArmed.fetch_add(1);
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

void* CountedAllocateNoThrow(std::size_t size) noexcept {
    if (countingArmed.load(std::memory_order_relaxed)) allocationsWhileArmed.fetch_add(1);
    return std::malloc(size == 0 ? 1 : size);
}

// Over-aligned forms: the block is over-allocated and the original address kept just before the
// aligned one, so the matching delete can free it.
void* CountedAllocateAligned(std::size_t size, std::align_val_t alignment) noexcept {
    if (countingArmed.load(std::memory_order_relaxed)) allocationsWhileArmed.fetch_add(1);
    const std::size_t align = static_cast<std::size_t>(alignment);
    void* raw = std::malloc(size + align + sizeof(void*));
    if (raw == nullptr) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*);
    const std::uintptr_t aligned = (start + align - 1) & ~(static_cast<std::uintptr_t>(align) - 1);
    reinterpret_cast<void**>(aligned)[-1] = raw;
    return reinterpret_cast<void*>(aligned);
}

void CountedRelease(void* memory) noexcept {
    if (memory == nullptr) return;
    if (countingArmed.load(std::memory_order_relaxed)) releasesWhileArmed.fetch_add(1);
    std::free(memory);
}

void CountedReleaseAligned(void* memory) noexcept {
    if (memory == nullptr) return;
    if (countingArmed.load(std::memory_order_relaxed)) releasesWhileArmed.fetch_add(1);
    std::free(reinterpret_cast<void**>(memory)[-1]);
}

// Arms the counter for one scope.
class AllocationWindow {
public:
    AllocationWindow() {
        allocationsWhileArmed = 0;
        releasesWhileArmed = 0;
        countingArmed = true;
    }
    ~AllocationWindow() { countingArmed = false; }
    AllocationWindow(const AllocationWindow&) = delete;
    AllocationWindow& operator=(const AllocationWindow&) = delete;
};

}  // namespace

void* operator new(std::size_t size) { return CountedAllocate(size); }
void* operator new[](std::size_t size) { return CountedAllocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return CountedAllocateNoThrow(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return CountedAllocateNoThrow(size); }
void* operator new(std::size_t size, std::align_val_t alignment) {
    void* memory = CountedAllocateAligned(size, alignment);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    void* memory = CountedAllocateAligned(size, alignment);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return CountedAllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return CountedAllocateAligned(size, alignment);
}
void operator delete(void* memory) noexcept { CountedRelease(memory); }
void operator delete[](void* memory) noexcept { CountedRelease(memory); }
void operator delete(void* memory, std::size_t) noexcept { CountedRelease(memory); }
void operator delete[](void* memory, std::size_t) noexcept { CountedRelease(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { CountedRelease(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { CountedRelease(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { CountedReleaseAligned(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { CountedReleaseAligned(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { CountedReleaseAligned(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { CountedReleaseAligned(memory); }
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept {
    CountedReleaseAligned(memory);
}
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept {
    CountedReleaseAligned(memory);
}

namespace {

struct alignas(64) OverAligned {
    char bytes[64];
};

// Keeps the compiler from eliding a new/delete pair.
void* volatile escapedPointer = nullptr;

// The counter is live in this binary: without this, a zero below would prove nothing.
TEST(RealTimeProcessing, AllocationCounterSeesEveryFormOfNew) {
    int64_t counted = 0;
    int64_t released = 0;
    {
        AllocationWindow window;
        auto* single = new int(3);
        escapedPointer = single;
        auto* array = new char[17];
        escapedPointer = array;
        auto* aligned = new OverAligned;
        escapedPointer = aligned;
        auto* quiet = new (std::nothrow) double(1.0);
        escapedPointer = quiet;
        delete quiet;
        delete aligned;
        delete[] array;
        delete single;
        counted = allocationsWhileArmed.load();
        released = releasesWhileArmed.load();
    }
    EXPECT_EQ(counted, 4);
    EXPECT_EQ(released, 4);
}

TEST(RealTimeProcessing, ABatchWithTransportAndMidiAllocatesNothing) {
    // Mono and stereo instances, playing and stopped, each asking for the time from inside
    // processReplacing, each with MIDI packets; one not loaded and one null entry.
    RenderInstance monoPlaying(1), stereoPlaying(2), monoStopped(1), stereoStopping(2), unloaded(2);
    RenderInstance* active[] = {&monoPlaying, &stereoPlaying, &monoStopped, &stereoStopping};
    int32_t bar = 2;
    for (RenderInstance* instance : active) {
        instance->AskForTimeWhileProcessing();
        instance->transport.playing = true;
        instance->transport.tempo = 100.0 + bar;
        instance->transport.meterNumerator = 3;
        instance->transport.meterDenominator = 4;
        instance->transport.SetBarBeat(bar++, 2, 120000);
        for (uint8_t note = 0; note < 5; ++note) instance->midiInput.Add(note * 3u, 0x90, 60 + note, 100);
    }
    monoStopped.transport.playing = false;
    stereoPlaying.transport.meterResult = AAX_ERROR_NULL_OBJECT;
    unloaded.loaded = 0;
    void* batch[] = {monoPlaying.Context(), stereoPlaying.Context(), nullptr, monoStopped.Context(),
                     stereoStopping.Context(), unloaded.Context()};

    // A first run starts the transport; the second, for stereoStopping, stops it, so the effect's
    // time request sends the all-notes-off event from inside the callback.
    AAXWrapper_AlgorithmProcessFunction(batch, batch + std::size(batch));
    stereoStopping.transport.playing = false;
    for (RenderInstance* instance : active) instance->transport.SetBarBeat(bar, 3, 0);

    int64_t allocations = -1;
    int64_t releases = -1;
    {
        AllocationWindow window;
        for (int block = 0; block < 8; ++block) {
            AAXWrapper_AlgorithmProcessFunction(batch, batch + std::size(batch));
        }
        allocations = allocationsWhileArmed.load();
        releases = releasesWhileArmed.load();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(releases, 0);

    // The batch did its work while being counted.
    for (RenderInstance* instance : active) {
        EXPECT_EQ(instance->processCalls, 9);
        EXPECT_EQ(instance->effect.CountOpcode(vst2::effProcessEvents),
                  instance == &stereoStopping ? 9u * 5u + 1u : 9u * 5u);
        EXPECT_EQ(instance->TimesSeen().size(), 9u);
    }
    EXPECT_EQ(monoPlaying.callBack.positionValid, 1);
    EXPECT_EQ(stereoStopping.callBack.positionValid, 0);
    EXPECT_TRUE(unloaded.effect.calls.empty());
}

TEST(RealTimeProcessing, SubBlocksAccumulationChannelChangesAndTheBypassAllocateNothing) {
    // A buffer of three blocks with MIDI in each; an accumulating effect on buffers in place; a
    // bypassed effect that grows, announces it and then waits; an effect with scratch channels.
    RenderInstance longBuffer(2), accumulating(2), growing(2), wide(2);
    longBuffer.UseLongBuffers(3 * VstInterface::kMaxBlockFrames);
    longBuffer.AskForTimeWhileProcessing();
    for (uint32_t frame : {10u, 5000u, 9000u}) longBuffer.midiInput.Add(frame, 0x90, 64, 90);
    accumulating.effect.UseAccumulatingProcessOnly();
    accumulating.hostOutputs[0] = accumulating.inputData[0];
    growing.effect.ChangeChannelsAt(1, 6, 6, true);
    growing.vst.SetBypass(true);
    wide.effect.effect()->numOutputs = 5;
    for (RenderInstance* instance : {&accumulating, &wide}) instance->vst.SizeChannelArrays();
    void* batch[] = {longBuffer.Context(), accumulating.Context(), growing.Context(), wide.Context()};
    {
        AllocationWindow window;
        for (int block = 0; block < 4; ++block) AAXWrapper_AlgorithmProcessFunction(batch, batch + std::size(batch));
        EXPECT_EQ(allocationsWhileArmed.load() + releasesWhileArmed.load(), 0);
    }
    EXPECT_EQ(longBuffer.effect.CountKind(RecordedCall::Kind::ProcessReplacing), 12u);
    EXPECT_EQ(longBuffer.effect.CountOpcode(vst2::effProcessEvents), 12u);
    EXPECT_EQ(accumulating.effect.CountKind(RecordedCall::Kind::Process), 4u);
    EXPECT_EQ(growing.processCalls, 1);
    EXPECT_EQ(growing.outputData[1][5], growing.inputData[1][5]);
    EXPECT_EQ(wide.processCalls, 4);
}

}  // namespace
