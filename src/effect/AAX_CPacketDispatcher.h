// Packets: the parameter state that the data model posts into fields of the algorithm context.
// The dispatcher remembers which packets each parameter feeds, marks them dirty when the
// parameter changes, and rebuilds and posts the dirty ones on request.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "interfaces/aax_host.h"
#include "interfaces/acf.h"
#include "platform/platform.h"

class AAX_IEffectParameters;

// One payload bound for one algorithm-context field. Created dirty, with size 0 and room for
// 8 bytes, so that payloads of up to 8 bytes never allocate again.
class AAX_CPacket {
public:
    explicit AAX_CPacket(AAX_CFieldIndex fieldIndex);

    // [any]
    AAX_CFieldIndex GetID() const { return mFieldIndex; }
    bool IsDirty() const { return mDirty; }
    void SetDirty(bool dirty) { mDirty = dirty; }
    // [any] The payload's size as last set by a handler; 0 until then.
    uint32_t GetDataSize() const { return mDataSize; }
    // [any] The first payload byte. Valid until the payload is next resized.
    const void* GetData() const { return mPayload.data(); }

    // [any] Resizes the payload to size bytes and copies them from data, which may be null
    // only when size is 0.
    void SetPayload(const void* data, uint32_t size);
    // [any] Stores value's bytes in the machine's byte order as the whole payload.
    template <typename T>
    void SetValue(const T& value) {
        SetPayload(&value, static_cast<uint32_t>(sizeof(T)));
    }

private:
    AAX_CFieldIndex mFieldIndex;
    bool mDirty = true;
    uint32_t mDataSize = 0;
    std::vector<uint8_t> mPayload;
};

// The design calls the same record a field packet.
using FieldPacket = AAX_CPacket;

// Builds the payload of a packet for a parameter.
class AAX_IPacketHandler {
public:
    virtual ~AAX_IPacketHandler() = default;
    // [main] A new handler with the same worker and callbacks; the caller owns it.
    virtual AAX_IPacketHandler* Clone() const = 0;
    // [any] Fills the packet for the parameter id. 0 when the packet is ready to post.
    virtual AAX_Result CallHandler(AAX_CParamID id, AAX_CPacket& packet) const = 0;
};

// A handler that calls a member of a worker object: the extended callback (identifier and
// packet) if set, else the plain one (packet only). With neither, or with no worker, the
// handler answers AAX_ERROR_NULL_OBJECT.
template <class W>
class AAX_CPacketHandler : public AAX_IPacketHandler {
public:
    using CallBackFn = AAX_Result (W::*)(AAX_CPacket&);
    using CallBackFnExt = AAX_Result (W::*)(AAX_CParamID, AAX_CPacket&);

    AAX_CPacketHandler(W* worker, CallBackFn callback) : mWorker(worker), mCallback(callback) {}
    AAX_CPacketHandler(W* worker, CallBackFnExt callback) : mWorker(worker), mCallbackExt(callback) {}
    AAX_CPacketHandler(W* worker, CallBackFn callback, CallBackFnExt callbackExt)
        : mWorker(worker), mCallback(callback), mCallbackExt(callbackExt) {}

    AAX_IPacketHandler* Clone() const override {
        return new AAX_CPacketHandler(mWorker, mCallback, mCallbackExt);
    }

    AAX_Result CallHandler(AAX_CParamID id, AAX_CPacket& packet) const override {
        if (mWorker == nullptr) return AAX_ERROR_NULL_OBJECT;
        if (mCallbackExt != nullptr) return (mWorker->*mCallbackExt)(id, packet);
        if (mCallback != nullptr) return (mWorker->*mCallback)(packet);
        return AAX_ERROR_NULL_OBJECT;
    }

private:
    W* mWorker;
    CallBackFn mCallback = nullptr;
    CallBackFnExt mCallbackExt = nullptr;
};

// Packets are only added, never removed, until destruction. Initialize, RegisterPacket, SetDirty,
// Dispatch and destruction hold an owner-thread lock: a thread that already holds it (a handler calling
// back into the dispatcher) goes through without blocking and without releasing it; any other
// thread waits without a time limit. If the operating system gives no mutex, the dispatcher
// runs unguarded.
class AAX_CPacketDispatcher {
public:
    AAX_CPacketDispatcher();
    ~AAX_CPacketDispatcher();
    AAX_CPacketDispatcher(const AAX_CPacketDispatcher&) = delete;
    AAX_CPacketDispatcher& operator=(const AAX_CPacketDispatcher&) = delete;

    // [main] Stores the controller that posts packets and the data model that
    // GenerateSingleValuePacket reads. Neither is owned. Takes the lock, so a dispatch running
    // on another thread finishes with the old ones first.
    void Initialize(AAX_IController* controller, AAX_IEffectParameters* effectParameters);

    // [main] Feeds the packet of fieldIndex (created dirty if new) from the parameter id through a
    // clone of handler; the caller keeps handler. Several identifiers may share one packet and one
    // identifier may feed several. 0, or AAX_ERROR_INVALID_PARAMETER_ID for a null id, or
    // AAX_ERROR_NULL_OBJECT for a null handler; nothing is registered then.
    AAX_Result RegisterPacket(AAX_CParamID id, AAX_CFieldIndex fieldIndex, const AAX_IPacketHandler* handler);

    // [any] Marks dirty every packet that id feeds. Unknown or null identifiers do nothing. 0.
    AAX_Result SetDirty(AAX_CParamID id);

    // [any] Rebuilds and posts each dirty packet once, walking identifiers in ascending byte order
    // and, within one identifier, in registration order; a shared packet is built by its first
    // entry in that order. A packet whose handler fails is not posted. Every visited packet is
    // clean afterwards, whatever its handler returned. Returns the last PostPacket result, or 0
    // when nothing was posted; AAX_ERROR_NULL_OBJECT, with nothing built or cleared, before
    // Initialize has given a controller.
    AAX_Result Dispatch();

    // [any] The standard extended callback: the value of parameter id, as the first of bool
    // (int32 0 or 1), float, int32 or double that the parameter answers, in the machine's byte
    // order. AAX_ERROR_NULL_OBJECT if the parameter is missing or answers none of them.
    AAX_Result GenerateSingleValuePacket(AAX_CParamID id, AAX_CPacket& packet);

private:
    class ScopedOwnerLock;
    struct HandlerEntry {
        AAX_CPacket* packet;
        std::unique_ptr<AAX_IPacketHandler> handler;
    };

    std::map<AAX_CFieldIndex, std::unique_ptr<AAX_CPacket>> mPacketsByField;
    std::multimap<std::string, HandlerEntry> mHandlersByParameter;
    AAX_IController* mController = nullptr;
    AAX_IEffectParameters* mEffectParameters = nullptr;
    platform::MutexHandle mMutex = nullptr;
    std::atomic<uint32_t> mLockHolder{0};  // thread id of the holder, 0 when free
};
