// Counts global operator new calls between Start and Stop, for tests that show a path
// allocates nothing. The replacement operators live in allocation_counter.cpp and affect only
// the test executable that links it.
#pragma once

namespace allocation_counter {
void Start();
// Stops counting and returns the number of allocations since Start.
int Stop();
}  // namespace allocation_counter
