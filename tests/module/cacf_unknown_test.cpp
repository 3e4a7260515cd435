#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "interfaces/aax_ids.h"
#include "support/virtual_slot.h"
#include "module/CACFUnknown.h"
#include "module/ModuleState.h"

namespace {

// A component interface of the tests' own, with an identifier no real interface uses.
constexpr acfIID IID_ITestComponent = {0x7E570001, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};

class ITestComponent : public IACFUnknown {
public:
    virtual int32_t Answer() = 0;
};

// What happened to a component, kept outside it so it can be read after destruction.
struct Lifecycle {
    std::atomic<int32_t> finalReleases{0};
    std::atomic<int32_t> destructions{0};
    std::atomic<bool> finalReleaseBeforeDestruction{false};
};

// A component written the way the data model and the GUI are: interface first, then the base.
class TestComponent : public ITestComponent, public CACFUnknown {
public:
    explicit TestComponent(Lifecycle* lifecycle) : mLifecycle(lifecycle) {}
    ~TestComponent() override { mLifecycle->destructions.fetch_add(1); }

    ACFRESULT QueryInterface(const acfIID& iid, void** out) override {
        return GetOuterUnknown()->QueryInterface(iid, out);
    }
    acfUInt32 AddRef() override { return GetOuterUnknown()->AddRef(); }
    acfUInt32 Release() override { return GetOuterUnknown()->Release(); }
    int32_t Answer() override { return 42; }

    ACFRESULT InternalQueryInterface(const acfIID& iid, void** out) noexcept override {
        if (out != nullptr && iid == IID_ITestComponent) {
            *out = static_cast<ITestComponent*>(this);
            static_cast<ITestComponent*>(this)->AddRef();
            return ACF_OK;
        }
        return CACFUnknown::InternalQueryInterface(iid, out);
    }

    void FinalRelease() noexcept override {
        mLifecycle->finalReleases.fetch_add(1);
        mLifecycle->finalReleaseBeforeDestruction = mLifecycle->destructions.load() == 0;
    }

private:
    Lifecycle* mLifecycle;
};

TEST(CACFUnknown, VirtualSlotsKeepTheirOrder) {
    // Itanium places the complete and deleting destructors in slots 0 and 1, so the slot index
    // of each following operation equals its position counting the destructor as slot 1.
    EXPECT_EQ(VirtualSlot(&CACFUnknown::ReservedOperation), 2);
    EXPECT_EQ(VirtualSlot(&CACFUnknown::FinalRelease), 3);
    EXPECT_EQ(VirtualSlot(&CACFUnknown::DeleteThis), 4);
    EXPECT_EQ(VirtualSlot(&CACFUnknown::InternalQueryInterface), 5);
    EXPECT_EQ(VirtualSlot(&CACFUnknown::InternalAddRef), 6);
    EXPECT_EQ(VirtualSlot(&CACFUnknown::InternalRelease), 7);
}

TEST(CACFUnknown, LastReleaseRunsTheFinalReleaseHookThenDestroysOnce) {
    Lifecycle lifecycle;
    auto* component = new TestComponent(&lifecycle);
    ITestComponent* iface = component;
    const int32_t liveBefore = ACFLiveObjectCount();
    EXPECT_EQ(iface->AddRef(), 1u);
    EXPECT_EQ(iface->AddRef(), 2u);
    EXPECT_EQ(iface->Release(), 1u);
    EXPECT_EQ(lifecycle.finalReleases.load(), 0);
    EXPECT_EQ(iface->Release(), 0u);
    EXPECT_EQ(ACFLiveObjectCount(), liveBefore - 1);
    EXPECT_EQ(lifecycle.finalReleases.load(), 1);
    EXPECT_TRUE(lifecycle.finalReleaseBeforeDestruction.load());
    EXPECT_EQ(lifecycle.destructions.load(), 1);
}

TEST(CACFUnknown, QueryForTheRootIdentifierAnswersTheInnerUnknownWithOneMoreReference) {
    Lifecycle lifecycle;
    auto* component = new TestComponent(&lifecycle);
    ITestComponent* iface = component;
    iface->AddRef();

    void* out = nullptr;
    EXPECT_EQ(iface->QueryInterface(IID_IACFUnknown, &out), ACF_OK);
    EXPECT_EQ(out, component->GetInnerUnknown());
    EXPECT_NE(out, static_cast<void*>(static_cast<IACFUnknown*>(iface)));
    EXPECT_EQ(component->GetRefCount(), 2);

    // The inner unknown works on the same count and answers the component's own interfaces.
    auto* inner = static_cast<IACFUnknown*>(out);
    void* again = nullptr;
    EXPECT_EQ(inner->QueryInterface(IID_ITestComponent, &again), ACF_OK);
    EXPECT_EQ(again, static_cast<void*>(iface));
    EXPECT_EQ(static_cast<ITestComponent*>(again)->Answer(), 42);
    EXPECT_EQ(component->GetRefCount(), 3);

    EXPECT_EQ(inner->Release(), 2u);
    EXPECT_EQ(iface->Release(), 1u);
    EXPECT_EQ(lifecycle.destructions.load(), 0);
    EXPECT_EQ(iface->Release(), 0u);
    EXPECT_EQ(lifecycle.destructions.load(), 1);
}

TEST(CACFUnknown, UnofferedIdentifiersAnswerNoInterfaceWithANullOutput) {
    Lifecycle lifecycle;
    auto* component = new TestComponent(&lifecycle);
    ITestComponent* iface = component;
    iface->AddRef();

    int sentinel = 0;
    void* out = &sentinel;
    EXPECT_EQ(iface->QueryInterface(IID_IAAXEffectGUIV1, &out), ACF_E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    out = &sentinel;
    EXPECT_EQ(component->CACFUnknown::InternalQueryInterface(IID_ITestComponent, &out),
              ACF_E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(component->CACFUnknown::InternalQueryInterface(IID_IACFUnknown, nullptr),
              ACF_E_NOINTERFACE);
    EXPECT_EQ(component->GetRefCount(), 1);
    EXPECT_EQ(component->ReservedOperation(), 0);

    iface->Release();
    EXPECT_EQ(lifecycle.destructions.load(), 1);
}

TEST(CACFUnknown, ConcurrentReferencesDestroyExactlyOnce) {
    constexpr int kThreads = 6;
    constexpr int kRounds = 20000;
    for (int trial = 0; trial < 5; ++trial) {
        Lifecycle lifecycle;
        ITestComponent* iface = new TestComponent(&lifecycle);
        for (int i = 0; i < kThreads; ++i) iface->AddRef();  // one reference per thread

        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i) {
            threads.emplace_back([&] {
                while (!go.load()) std::this_thread::yield();
                for (int round = 0; round < kRounds; ++round) {
                    iface->AddRef();
                    iface->Release();
                }
                iface->Release();  // the thread's own reference; one of these is the last
            });
        }
        go = true;
        for (auto& thread : threads) thread.join();

        EXPECT_EQ(lifecycle.finalReleases.load(), 1);
        EXPECT_EQ(lifecycle.destructions.load(), 1);
    }
}

}  // namespace
