// What the operations a host calls do with an exception: they never let one out. A host built
// with another compiler cannot catch what this module throws, and one built with ours must not
// have to.
#pragma once

#include <new>

#include "interfaces/acf.h"

// [any] Runs body (which answers an AAX_Result) and answers its result. What it throws comes back
// as a code: AAX_ERROR_PLUGIN_OUT_OF_MEMORY for running out of memory, ACF_E_UNEXPECTED (what an
// export answers for an escaped exception) for anything else. The caller undoes what the body
// left half done.
template <typename Body>
AAX_Result AAX_Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return AAX_ERROR_PLUGIN_OUT_OF_MEMORY;
    } catch (...) {
        return ACF_E_UNEXPECTED;
    }
}

// [any] The same for an operation that answers no code: what body throws is dropped and the
// fallback answered instead.
template <typename Result, typename Body>
Result AAX_GuardedOr(Result fallback, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return fallback;
    }
}

// [any] The same for an operation without a result: what body throws is dropped.
template <typename Body>
void AAX_GuardedVoid(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}
