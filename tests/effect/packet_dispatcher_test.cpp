#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "effect/AAX_CPacketDispatcher.h"
#include "effect/AAX_VHostWrappers.h"
#include "support/FakeHost.h"

using testsupport::FakeHost;
using testsupport::PostedPacket;

namespace {

// Builds packets for the dispatcher and records which identifier and field each call was for.
struct RecordingWorker {
    struct Call {
        std::string id;
        AAX_CFieldIndex field;
    };
    std::vector<Call> calls;
    AAX_Result answer = AAX_SUCCESS;
    int32_t payload = 0;

    AAX_Result Build(AAX_CParamID id, AAX_CPacket& packet) {
        calls.push_back({id, packet.GetID()});
        packet.SetValue(payload);
        return answer;
    }
    AAX_Result BuildPlain(AAX_CPacket& packet) {
        calls.push_back({"(plain)", packet.GetID()});
        packet.SetValue(payload);
        return answer;
    }
};

using WorkerHandler = AAX_CPacketHandler<RecordingWorker>;

int32_t PayloadInt(const PostedPacket& packet) {
    int32_t value = 0;
    EXPECT_EQ(packet.payload.size(), sizeof value);
    if (packet.payload.size() == sizeof value) std::memcpy(&value, packet.payload.data(), sizeof value);
    return value;
}

struct DispatcherFixture : ::testing::Test {
    FakeHost host;
    AAX_VController controller{host.Unknown()};
    AAX_CPacketDispatcher dispatcher;
    RecordingWorker worker;
    WorkerHandler handler{&worker, &RecordingWorker::Build};

    void SetUp() override { dispatcher.Initialize(&controller, nullptr); }
};

}  // namespace

TEST(PacketHandler, StartsPacketsDirtyAndEmptyAndPrefersTheExtendedCallback) {
    AAX_CPacket packet(6);
    EXPECT_TRUE(packet.IsDirty());
    EXPECT_EQ(packet.GetDataSize(), 0u);
    EXPECT_EQ(std::memcmp(packet.GetData(), "\0\0\0\0\0\0\0\0", 8), 0);

    RecordingWorker worker;
    const WorkerHandler both(&worker, &RecordingWorker::BuildPlain, &RecordingWorker::Build);
    std::unique_ptr<AAX_IPacketHandler> clone(both.Clone());
    EXPECT_EQ(clone->CallHandler("Gain", packet), AAX_SUCCESS);
    EXPECT_EQ(WorkerHandler(&worker, &RecordingWorker::BuildPlain).CallHandler("Gain", packet), AAX_SUCCESS);
    EXPECT_EQ(WorkerHandler(&worker, WorkerHandler::CallBackFn{nullptr}).CallHandler("Gain", packet),
              AAX_ERROR_NULL_OBJECT);
    EXPECT_EQ(WorkerHandler(nullptr, &RecordingWorker::Build).CallHandler("Gain", packet), AAX_ERROR_NULL_OBJECT);
    ASSERT_EQ(worker.calls.size(), 2u);
    EXPECT_EQ(worker.calls[0].id, "Gain");
    EXPECT_EQ(worker.calls[1].id, "(plain)");
    EXPECT_EQ(packet.GetDataSize(), 4u);
}

TEST_F(DispatcherFixture, PostsANewlyRegisteredPacketOnceAndThenOnlyWhenMarkedDirty) {
    worker.payload = 42;
    ASSERT_EQ(dispatcher.RegisterPacket("Gain", 6, &handler), AAX_SUCCESS);

    EXPECT_EQ(dispatcher.Dispatch(), AAX_SUCCESS);
    auto posts = host.packets.Posts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].fieldIndex, 6u);
    EXPECT_EQ(PayloadInt(posts[0]), 42);

    // Nothing dirty: nothing posted, and the result is 0 even though a post would fail now.
    host.packets.result = -1234;
    EXPECT_EQ(dispatcher.Dispatch(), AAX_SUCCESS);
    EXPECT_EQ(host.packets.Posts().size(), 1u);

    // Unregistered identifiers mark nothing.
    EXPECT_EQ(dispatcher.SetDirty("Other"), AAX_SUCCESS);
    EXPECT_EQ(dispatcher.SetDirty(nullptr), AAX_SUCCESS);
    EXPECT_EQ(dispatcher.Dispatch(), AAX_SUCCESS);
    EXPECT_EQ(host.packets.Posts().size(), 1u);

    worker.payload = 7;
    dispatcher.SetDirty("Gain");
    EXPECT_EQ(dispatcher.Dispatch(), -1234);
    posts = host.packets.Posts();
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(PayloadInt(posts[1]), 7);
}

TEST_F(DispatcherFixture, BuildsASharedPacketOnceWithTheFirstIdentifierInByteOrder) {
    // "z" (0x7A) sorts before "\xC3x" (0xC3) byte-wise; a signed comparison would reverse them.
    ASSERT_EQ(dispatcher.RegisterPacket("\xC3x", 6, &handler), AAX_SUCCESS);
    ASSERT_EQ(dispatcher.RegisterPacket("z", 6, &handler), AAX_SUCCESS);

    dispatcher.Dispatch();
    ASSERT_EQ(worker.calls.size(), 1u);
    EXPECT_EQ(worker.calls[0].id, "z");

    // Marking the later identifier dirty still builds the packet with the first one, once.
    worker.calls.clear();
    dispatcher.SetDirty("\xC3x");
    dispatcher.Dispatch();
    ASSERT_EQ(worker.calls.size(), 1u);
    EXPECT_EQ(worker.calls[0].id, "z");
    EXPECT_EQ(host.packets.Posts().size(), 2u);
}

TEST_F(DispatcherFixture, OneIdentifierFeedsSeveralPacketsInRegistrationOrder) {
    dispatcher.RegisterPacket("Gain", 9, &handler);
    dispatcher.RegisterPacket("Gain", 2, &handler);
    dispatcher.RegisterPacket("Alpha", 5, &handler);
    dispatcher.Dispatch();
    dispatcher.SetDirty("Gain");
    dispatcher.Dispatch();
    std::vector<AAX_CFieldIndex> fields;
    for (const PostedPacket& post : host.packets.Posts()) fields.push_back(post.fieldIndex);
    EXPECT_EQ(fields, (std::vector<AAX_CFieldIndex>{5, 9, 2, 9, 2}));
}

TEST_F(DispatcherFixture, AFailedHandlerSkipsThePostAndWaitsForTheNextChange) {
    RecordingWorker failing;
    failing.answer = AAX_ERROR_NULL_OBJECT;
    const WorkerHandler failingHandler(&failing, &RecordingWorker::Build);
    dispatcher.RegisterPacket("Bad", 3, &failingHandler);
    dispatcher.RegisterPacket("Good", 4, &handler);

    EXPECT_EQ(dispatcher.Dispatch(), AAX_SUCCESS);
    auto posts = host.packets.Posts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].fieldIndex, 4u);
    EXPECT_EQ(failing.calls.size(), 1u);

    dispatcher.Dispatch();
    EXPECT_EQ(failing.calls.size(), 1u);  // not retried

    dispatcher.SetDirty("Bad");
    dispatcher.Dispatch();
    EXPECT_EQ(failing.calls.size(), 2u);
    EXPECT_EQ(host.packets.Posts().size(), 1u);
}

TEST_F(DispatcherFixture, ReturnsTheResultOfTheLastPost) {
    // The handlers script the controller: each sets the result its own post will get.
    struct ScriptingWorker {
        FakeHost* host;
        AAX_Result forFirst;
        AAX_Result forSecond;
        AAX_Result First(AAX_CParamID, AAX_CPacket& packet) {
            packet.SetValue<int32_t>(1);
            host->packets.result = forFirst;
            return AAX_SUCCESS;
        }
        AAX_Result Second(AAX_CParamID, AAX_CPacket& packet) {
            packet.SetValue<int32_t>(2);
            host->packets.result = forSecond;
            return AAX_SUCCESS;
        }
    };
    ScriptingWorker scripting{&host, -7, AAX_SUCCESS};
    const AAX_CPacketHandler<ScriptingWorker> first(&scripting, &ScriptingWorker::First);
    const AAX_CPacketHandler<ScriptingWorker> second(&scripting, &ScriptingWorker::Second);
    dispatcher.RegisterPacket("A", 1, &first);
    dispatcher.RegisterPacket("B", 2, &second);
    EXPECT_EQ(dispatcher.Dispatch(), AAX_SUCCESS);

    scripting.forFirst = AAX_SUCCESS;
    scripting.forSecond = -9;
    dispatcher.SetDirty("A");
    dispatcher.SetDirty("B");
    EXPECT_EQ(dispatcher.Dispatch(), -9);
}

TEST_F(DispatcherFixture, KeepsItsOwnCloneOfTheHandlerAndFreesItOnDestruction) {
    struct CountedHandler : AAX_IPacketHandler {
        std::atomic<int>* live;
        explicit CountedHandler(std::atomic<int>* counter) : live(counter) { ++*live; }
        ~CountedHandler() override { --*live; }
        AAX_IPacketHandler* Clone() const override { return new CountedHandler(live); }
        AAX_Result CallHandler(AAX_CParamID, AAX_CPacket& packet) const override {
            packet.SetValue<int32_t>(5);
            return AAX_SUCCESS;
        }
    };
    std::atomic<int> live{0};
    {
        AAX_CPacketDispatcher own;
        own.Initialize(&controller, nullptr);
        {
            const CountedHandler caller(&live);
            EXPECT_EQ(own.RegisterPacket("Gain", 6, &caller), AAX_SUCCESS);
            EXPECT_EQ(own.RegisterPacket("Mix", 6, &caller), AAX_SUCCESS);
            EXPECT_EQ(live.load(), 3);
        }
        EXPECT_EQ(live.load(), 2);
        EXPECT_EQ(own.Dispatch(), AAX_SUCCESS);  // the caller's handler is gone; the clones work
        EXPECT_EQ(host.packets.Posts().size(), 1u);
    }
    EXPECT_EQ(live.load(), 0);
}

TEST_F(DispatcherFixture, RefusesMissingArgumentsAndDispatchesNothingWithoutAController) {
    EXPECT_EQ(dispatcher.RegisterPacket("Gain", 6, nullptr), AAX_ERROR_NULL_OBJECT);
    EXPECT_EQ(dispatcher.RegisterPacket(nullptr, 6, &handler), AAX_ERROR_INVALID_PARAMETER_ID);
    EXPECT_EQ(dispatcher.Dispatch(), AAX_SUCCESS);
    EXPECT_TRUE(host.packets.Posts().empty());

    AAX_CPacketDispatcher uninitialized;
    uninitialized.RegisterPacket("Gain", 6, &handler);
    EXPECT_EQ(uninitialized.Dispatch(), AAX_ERROR_NULL_OBJECT);
    EXPECT_TRUE(worker.calls.empty());
    // The packet is still dirty, so the first dispatch with a controller posts it.
    uninitialized.Initialize(&controller, nullptr);
    EXPECT_EQ(uninitialized.Dispatch(), AAX_SUCCESS);
    EXPECT_EQ(host.packets.Posts().size(), 1u);
}

TEST_F(DispatcherFixture, AHandlerMayCallBackIntoTheDispatcherOnItsOwnThread) {
    // Inside Dispatch the lock is held; the nested calls must neither block nor release it.
    struct ReentrantWorker {
        AAX_CPacketDispatcher* dispatcher;
        const AAX_IPacketHandler* extra;
        int calls = 0;
        AAX_Result Build(AAX_CParamID id, AAX_CPacket& packet) {
            ++calls;
            dispatcher->SetDirty(id);
            if (calls == 1) dispatcher->RegisterPacket("Late", 8, extra);
            packet.SetValue<int32_t>(calls);
            return AAX_SUCCESS;
        }
    };
    ReentrantWorker reentrant{&dispatcher, &handler};
    const AAX_CPacketHandler<ReentrantWorker> reentrantHandler(&reentrant, &ReentrantWorker::Build);
    dispatcher.RegisterPacket("Gain", 6, &reentrantHandler);

    EXPECT_EQ(dispatcher.Dispatch(), AAX_SUCCESS);
    EXPECT_EQ(reentrant.calls, 1);
    EXPECT_FALSE(host.packets.Posts().empty());

    // The lock was released at the end of the outer call: another thread gets it.
    std::thread other([&] { dispatcher.SetDirty("Gain"); });
    other.join();
    dispatcher.Dispatch();
    EXPECT_EQ(reentrant.calls, 2);
}

// Also run under ThreadSanitizer: the controller that Dispatch reads on one thread is replaced on
// another, as Uninitialize clears it before deleting it.
TEST_F(DispatcherFixture, ReplacingTheControllerWaitsForADispatchInProgress) {
    ASSERT_EQ(dispatcher.RegisterPacket("Gain", 6, &handler), AAX_SUCCESS);
    constexpr int kRounds = 300;
    std::thread generating([&] {
        for (int round = 0; round < kRounds; ++round) {
            dispatcher.SetDirty("Gain");
            dispatcher.Dispatch();
        }
    });
    for (int round = 0; round < kRounds; ++round) {
        dispatcher.Initialize(nullptr, nullptr);
        dispatcher.Initialize(&controller, nullptr);
    }
    generating.join();

    dispatcher.Initialize(nullptr, nullptr);
    dispatcher.SetDirty("Gain");
    EXPECT_EQ(dispatcher.Dispatch(), AAX_ERROR_NULL_OBJECT);
    dispatcher.Initialize(&controller, nullptr);
    host.packets.ClearPosts();
    EXPECT_EQ(dispatcher.Dispatch(), AAX_SUCCESS);
    EXPECT_EQ(host.packets.Posts().size(), 1u) << "a dispatch without a controller leaves the packet dirty";
}

TEST_F(DispatcherFixture, AnotherThreadWaitsUntilTheHolderReleasesTheLock) {
    // The handler, holding the lock, makes a nested call (which must not release it), then lets
    // a second thread try SetDirty and gives it ample opportunity to get through. The events are
    // logged in order; the second thread can only log after the outer Dispatch has returned.
    std::mutex logMutex;
    std::vector<std::string> log;
    auto note = [&](const char* event) {
        std::lock_guard<std::mutex> lock(logMutex);
        log.emplace_back(event);
    };
    std::atomic<bool> aboutToLock{false};
    std::thread contender;

    struct BlockingWorker {
        std::function<void()> body;
        AAX_Result Build(AAX_CParamID, AAX_CPacket& packet) {
            body();
            packet.SetValue<int32_t>(1);
            return AAX_SUCCESS;
        }
    };
    BlockingWorker blocking;
    blocking.body = [&] {
        dispatcher.SetDirty("Gain");  // nested: must keep the lock
        contender = std::thread([&] {
            aboutToLock = true;
            dispatcher.SetDirty("Gain");
            note("contender entered");
        });
        while (!aboutToLock) std::this_thread::yield();
        // Not an assertion on time: only a chance for a faulty lock to let the contender in.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        note("holder done");
    };
    const AAX_CPacketHandler<BlockingWorker> blockingHandler(&blocking, &BlockingWorker::Build);
    dispatcher.RegisterPacket("Gain", 6, &blockingHandler);

    dispatcher.Dispatch();
    contender.join();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "holder done");
    EXPECT_EQ(log[1], "contender entered");
}
