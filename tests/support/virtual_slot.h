// Reads the virtual-table slot of a member function pointer, for classes that only our own
// compiler lays out (the module's internal classes). g++ and mingw-w64 follow the Itanium C++
// ABI, where a pointer to a virtual member holds 1 + the slot's byte offset. The slots a host
// calls are checked against the Microsoft layout by tests/interfaces instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

template <typename MemberFunction>
std::ptrdiff_t VirtualSlot(MemberFunction member) {
    static_assert(sizeof(MemberFunction) == 2 * sizeof(void*));
    uintptr_t words[2];
    std::memcpy(words, &member, sizeof words);
    if ((words[0] & 1u) == 0) return -1;  // not virtual
    return static_cast<std::ptrdiff_t>((words[0] - 1) / sizeof(void*));
}
