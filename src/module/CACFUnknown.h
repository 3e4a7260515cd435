// The reference-counted base of every component object the module creates (the data model and
// the GUI).
//
// A component derives first from its ACF interface and then from CACFUnknown, and implements the
// interface's three IACFUnknown slots by forwarding them unchanged to GetOuterUnknown():
//
//   ACFRESULT QueryInterface(const acfIID& iid, void** out) override {
//       return GetOuterUnknown()->QueryInterface(iid, out);
//   }
//   acfUInt32 AddRef() override { return GetOuterUnknown()->AddRef(); }
//   acfUInt32 Release() override { return GetOuterUnknown()->Release(); }
//
// It overrides InternalQueryInterface to answer its own interface identifiers first (storing its
// own interface pointer and adding a reference through it) and falls back to this class for the
// rest.
//
// The virtual slot order below is part of the binary contract and must not change.
#pragma once

#include <atomic>
#include <cstdint>

#include "interfaces/acf.h"

class CACFUnknown {
public:
    // [any] Counts the object as live. The reference count starts at 0: the host takes the first
    // reference through QueryInterface or AddRef. Not aggregated: the outer unknown is the
    // object's own inner unknown.
    CACFUnknown();
    CACFUnknown(const CACFUnknown&) = delete;
    CACFUnknown& operator=(const CACFUnknown&) = delete;

    // [any] Slot 1. Uncounts the object.
    virtual ~CACFUnknown();
    // [any] Slot 2. Does nothing and returns 0; kept for the slot order.
    virtual ACFRESULT ReservedOperation() noexcept;
    // [any] Slot 3. Called by the releasing thread just before self-deletion.
    virtual void FinalRelease() noexcept;
    // [any] Slot 4. Deletes the object through its deleting destructor.
    virtual void DeleteThis() noexcept;
    // [any] Slot 5. Sets *outInterface to null first. For IID_IACFUnknown stores the inner
    // unknown, adds a reference through it and returns 0; otherwise ACF_E_NOINTERFACE.
    virtual ACFRESULT InternalQueryInterface(const acfIID& iid, void** outInterface) noexcept;
    // [any] Slot 6. Atomic increment; returns the new count.
    virtual acfUInt32 InternalAddRef() noexcept;
    // [any] Slot 7. Atomic decrement; the one caller whose decrement reaches 0 runs
    // FinalRelease and DeleteThis. Returns the new count.
    virtual acfUInt32 InternalRelease() noexcept;

    // [any] Where the component's public IACFUnknown slots forward to.
    IACFUnknown* GetOuterUnknown() const { return outerUnknown; }
    // [any] The object's own inner unknown, whose slots forward to the Internal* operations.
    IACFUnknown* GetInnerUnknown() { return &privateUnknown; }
    // [any] The current reference count, for diagnostics and tests.
    int32_t GetRefCount() const { return refCount.load(std::memory_order_acquire); }

private:
    // The inner unknown: forwards to its owner's Internal* operations.
    class PrivateUnknown final : public IACFUnknown {
    public:
        explicit PrivateUnknown(CACFUnknown* ownerObject) : owner(ownerObject) {}
        ACFRESULT QueryInterface(const acfIID& iid, void** outInterface) noexcept override;
        acfUInt32 AddRef() noexcept override;
        acfUInt32 Release() noexcept override;

    private:
        CACFUnknown* const owner;  // the back pointer to the owning object
    };

    std::atomic<int32_t> refCount{0};
    IACFUnknown* outerUnknown;
    PrivateUnknown privateUnknown;
};
