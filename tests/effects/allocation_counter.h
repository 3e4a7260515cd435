// Counts every operator new made in the process, for tests that prove a code path allocates
// nothing. On Linux the test binary's replacement operators also serve the effect library,
// which takes operator new from the process by dynamic symbol resolution. On Windows the
// effect links its own runtime statically, so its allocations cannot be seen from here.
#pragma once

#include <cstdint>

namespace effects_test {

// True where the count includes the allocations of a loaded effect library.
bool AllocationCountSeesLibraries();
// The number of operator new calls so far.
int64_t AllocationCount();

}  // namespace effects_test
