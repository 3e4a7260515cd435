// Out-of-memory for tests. Linking this (by using AllocationFailure) replaces the process's
// global operator new and delete: while an AllocationFailure is alive, allocations on its thread
// fail once a given number of them have succeeded, and every thread's live blocks are counted,
// so a test can also tell whether a failure left anything behind.
#pragma once

#include <cstdint>

namespace testsupport {

class AllocationFailure {
public:
    // Lets `allowed` more allocations on this thread succeed, then fails every later one.
    explicit AllocationFailure(int64_t allowed = 0);
    ~AllocationFailure();
    AllocationFailure(const AllocationFailure&) = delete;
    AllocationFailure& operator=(const AllocationFailure&) = delete;

    // True once an allocation has been refused.
    bool Triggered() const;
};

// Blocks allocated through operator new and not yet deleted, on every thread.
int64_t LiveAllocations();

}  // namespace testsupport

using testsupport::AllocationFailure;
