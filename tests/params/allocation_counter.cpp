#include "allocation_counter.h"

#include <cstdlib>
#include <new>

namespace {
bool gCounting = false;
int gCount = 0;
}  // namespace

namespace allocation_counter {
void Start() {
    gCount = 0;
    gCounting = true;
}
int Stop() {
    gCounting = false;
    return gCount;
}
}  // namespace allocation_counter

void* operator new(std::size_t size) {
    if (gCounting) ++gCount;
    if (void* block = std::malloc(size != 0 ? size : 1)) return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
