// Marks that a thread sets while it is in the middle of something, for code that must know on
// which thread it runs without thread-local storage: under mingw-w64 thread_local is emulated, and
// its first use on a thread allocates and takes a lock (the host's audio thread included). A mark
// is a (thread, value) pair kept in a small fixed table: setting, clearing and asking allocate
// nothing and lock nothing, and asking while nothing is marked costs one atomic load.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

template <size_t kSlots>
class ThreadMarks {
    static constexpr intptr_t kNoValue = INTPTR_MIN;
    struct Slot {
        std::atomic<uintptr_t> thread{0};
        std::atomic<intptr_t> value{kNoValue};
    };

public:
    // [any] True while any thread holds a mark (including an overflowed one).
    bool Any() const noexcept { return marked_.load(std::memory_order_acquire) != 0; }

    // [any] Whether the calling thread holds a mark with this value. While more threads are
    // marked than there are slots, every thread counts as marked: a caller that cannot tell must
    // take the cautious answer. Asks for the thread's identity only while something is marked.
    bool HeldHere(intptr_t value) const noexcept {
        if (!Any()) return false;
        if (overflowed_.load(std::memory_order_acquire) != 0) return true;
        const uintptr_t tag = platform::CurrentThreadTag();
        for (const Slot& slot : slots_) {
            // Only the owning thread writes a slot's value, so its own reads are consistent.
            if (slot.thread.load(std::memory_order_acquire) == tag &&
                slot.value.load(std::memory_order_relaxed) == value) {
                return true;
            }
        }
        return false;
    }

    // [any] Holds a mark for the calling thread for its lifetime. Scopes nest, on one thread and
    // across threads.
    class Scope {
    public:
        Scope(ThreadMarks& marks, intptr_t value) noexcept : marks_(marks) {
            const uintptr_t tag = platform::CurrentThreadTag();
            marks_.marked_.fetch_add(1, std::memory_order_acq_rel);
            for (Slot& slot : marks_.slots_) {
                uintptr_t expected = 0;
                if (slot.thread.load(std::memory_order_relaxed) == 0 &&
                    slot.thread.compare_exchange_strong(expected, tag, std::memory_order_acq_rel)) {
                    slot.value.store(value, std::memory_order_relaxed);
                    slot_ = &slot;
                    return;
                }
            }
            marks_.overflowed_.fetch_add(1, std::memory_order_acq_rel);
        }
        ~Scope() {
            if (slot_ != nullptr) {
                slot_->value.store(kNoValue, std::memory_order_relaxed);
                slot_->thread.store(0, std::memory_order_release);
            } else {
                marks_.overflowed_.fetch_sub(1, std::memory_order_acq_rel);
            }
            marks_.marked_.fetch_sub(1, std::memory_order_acq_rel);
        }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        ThreadMarks& marks_;
        Slot* slot_ = nullptr;
    };

private:
    std::atomic<int32_t> marked_{0};
    std::atomic<int32_t> overflowed_{0};
    Slot slots_[kSlots];
};
