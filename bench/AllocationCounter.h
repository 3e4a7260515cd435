// Counts the program's calls of the global operator new, so that a benchmark can report how many
// allocations one operation makes (the real-time path must make none).
#pragma once

#include <cstdint>

namespace bench {

// [any] Allocations through the global operator new since the program started.
uint64_t AllocationCount();

}  // namespace bench
