// Reference counting for the host's component objects. The host owns every object it hands
// to the module and keeps it alive until its owner goes away, whatever the module does with
// its count; the count only tells whether the module balanced its AddRef and Release calls.
#pragma once

#include <atomic>
#include <initializer_list>

#include "interfaces/acf.h"
#include "interfaces/aax_ids.h"

namespace aaxhost {

class RefCount {
public:
    // [any]
    acfUInt32 Add() { return static_cast<acfUInt32>(count_.fetch_add(1) + 1); }
    // [any] A release below zero is recorded as an underflow and leaves the count at zero.
    acfUInt32 Remove() {
        int32_t current = count_.load();
        while (true) {
            if (current <= 0) {
                underflows_.fetch_add(1);
                return 0;
            }
            if (count_.compare_exchange_weak(current, current - 1)) return static_cast<acfUInt32>(current - 1);
        }
    }
    int32_t Count() const { return count_.load(); }
    int32_t Underflows() const { return underflows_.load(); }

private:
    std::atomic<int32_t> count_{0};
    std::atomic<int32_t> underflows_{0};
};

// Implements the three IACFUnknown slots of Interface. QueryInterface answers IACFUnknown and
// the identifiers passed to AnswerQuery, each with the same object.
template <class Interface>
class HostObject : public Interface {
public:
    virtual ~HostObject() = default;
    acfUInt32 AddRef() override { return refs_.Add(); }
    acfUInt32 Release() override { return refs_.Remove(); }
    ACFRESULT QueryInterface(const acfIID& iid, void** outInterface) override {
        if (outInterface == nullptr) return ACF_E_NOINTERFACE;
        *outInterface = nullptr;
        if (iid == IID_IACFUnknown || Answers(iid)) {
            *outInterface = static_cast<Interface*>(this);
            AddRef();
            return ACF_OK;
        }
        return ACF_E_NOINTERFACE;
    }

    const RefCount& References() const { return refs_; }

protected:
    virtual bool Answers(const acfIID& iid) const = 0;
    static bool OneOf(const acfIID& iid, std::initializer_list<acfIID> ids) {
        for (const acfIID& candidate : ids) {
            if (candidate == iid) return true;
        }
        return false;
    }

private:
    RefCount refs_;
};

}  // namespace aaxhost
