#include "support/FailingAllocations.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace testsupport {
namespace {

// -1: not armed. Otherwise the allocations still allowed on this thread.
thread_local int64_t gAllowed = -1;
thread_local bool gTriggered = false;
std::atomic<int64_t> gLiveBlocks{0};

void* Allocate(std::size_t size) noexcept {
    if (gAllowed == 0) {
        gTriggered = true;
        return nullptr;
    }
    if (gAllowed > 0) --gAllowed;
    void* block = std::malloc(size != 0 ? size : 1);
    if (block != nullptr) gLiveBlocks.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void Free(void* block) noexcept {
    if (block == nullptr) return;
    gLiveBlocks.fetch_sub(1, std::memory_order_relaxed);
    std::free(block);
}

}  // namespace

AllocationFailure::AllocationFailure(int64_t allowed) {
    gAllowed = allowed < 0 ? 0 : allowed;
    gTriggered = false;
}

AllocationFailure::~AllocationFailure() { gAllowed = -1; }

bool AllocationFailure::Triggered() const { return gTriggered; }

int64_t LiveAllocations() { return gLiveBlocks.load(std::memory_order_relaxed); }

}  // namespace testsupport

void* operator new(std::size_t size) {
    if (void* block = testsupport::Allocate(size)) return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return testsupport::Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return testsupport::Allocate(size); }
void operator delete(void* block) noexcept { testsupport::Free(block); }
void operator delete[](void* block) noexcept { testsupport::Free(block); }
void operator delete(void* block, std::size_t) noexcept { testsupport::Free(block); }
void operator delete[](void* block, std::size_t) noexcept { testsupport::Free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { testsupport::Free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { testsupport::Free(block); }
