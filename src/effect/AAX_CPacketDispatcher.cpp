#include "effect/AAX_CPacketDispatcher.h"

#include "effect/AAX_IEffectParameters.h"
#include "interfaces/aax_parameter.h"

AAX_CPacket::AAX_CPacket(AAX_CFieldIndex fieldIndex) : mFieldIndex(fieldIndex), mPayload(8, 0) {}

void AAX_CPacket::SetPayload(const void* data, uint32_t size) {
    mPayload.resize(size);
    if (size > 0) std::memcpy(mPayload.data(), data, size);
    mDataSize = size;
}

// Takes the dispatcher's lock unless the calling thread holds it already; only the instance
// that took it releases it.
class AAX_CPacketDispatcher::ScopedOwnerLock {
public:
    explicit ScopedOwnerLock(AAX_CPacketDispatcher& dispatcher) : mDispatcher(dispatcher) {
        if (mDispatcher.mMutex == nullptr) return;
        const uint32_t self = platform::CurrentThreadId();
        if (mDispatcher.mLockHolder.load() == self) return;
        if (!platform::WaitForOwnerMutex(mDispatcher.mMutex)) return;
        mDispatcher.mLockHolder.store(self);
        mTaken = true;
    }
    ~ScopedOwnerLock() {
        if (!mTaken) return;
        mDispatcher.mLockHolder.store(0);
        platform::ReleaseOwnerMutex(mDispatcher.mMutex);
    }
    ScopedOwnerLock(const ScopedOwnerLock&) = delete;
    ScopedOwnerLock& operator=(const ScopedOwnerLock&) = delete;

private:
    AAX_CPacketDispatcher& mDispatcher;
    bool mTaken = false;
};

AAX_CPacketDispatcher::AAX_CPacketDispatcher() : mMutex(platform::CreateOwnerMutex()) {}

AAX_CPacketDispatcher::~AAX_CPacketDispatcher() {
    {
        ScopedOwnerLock lock(*this);
        mHandlersByParameter.clear();
        mPacketsByField.clear();
    }
    platform::CloseOwnerMutex(mMutex);
}

void AAX_CPacketDispatcher::Initialize(AAX_IController* controller, AAX_IEffectParameters* effectParameters) {
    // A Dispatch on another thread reads both; clearing them before the controller is deleted
    // must wait for it.
    ScopedOwnerLock lock(*this);
    mController = controller;
    mEffectParameters = effectParameters;
}

AAX_Result AAX_CPacketDispatcher::RegisterPacket(AAX_CParamID id, AAX_CFieldIndex fieldIndex,
                                                 const AAX_IPacketHandler* handler) {
    if (id == nullptr) return AAX_ERROR_INVALID_PARAMETER_ID;
    if (handler == nullptr) return AAX_ERROR_NULL_OBJECT;
    ScopedOwnerLock lock(*this);

    std::unique_ptr<AAX_IPacketHandler> clone(handler->Clone());
    if (clone == nullptr) return AAX_ERROR_NULL_OBJECT;

    auto& packet = mPacketsByField[fieldIndex];
    if (packet == nullptr) packet = std::make_unique<AAX_CPacket>(fieldIndex);
    // Entries under one key keep their insertion order, which is the registration order.
    mHandlersByParameter.emplace(std::string(id), HandlerEntry{packet.get(), std::move(clone)});
    return AAX_SUCCESS;
}

AAX_Result AAX_CPacketDispatcher::SetDirty(AAX_CParamID id) {
    if (id == nullptr) return AAX_SUCCESS;
    ScopedOwnerLock lock(*this);
    const auto [first, last] = mHandlersByParameter.equal_range(id);
    for (auto entry = first; entry != last; ++entry) entry->second.packet->SetDirty(true);
    return AAX_SUCCESS;
}

AAX_Result AAX_CPacketDispatcher::Dispatch() {
    ScopedOwnerLock lock(*this);
    if (mController == nullptr) return AAX_ERROR_NULL_OBJECT;

    AAX_Result result = AAX_SUCCESS;
    for (auto& [id, entry] : mHandlersByParameter) {
        AAX_CPacket& packet = *entry.packet;
        if (!packet.IsDirty()) continue;
        if (entry.handler->CallHandler(id.c_str(), packet) == AAX_SUCCESS) {
            result = mController->PostPacket(packet.GetID(), packet.GetData(), packet.GetDataSize());
        }
        // A failed handler is not retried until the parameter changes again.
        packet.SetDirty(false);
    }
    return result;
}

AAX_Result AAX_CPacketDispatcher::GenerateSingleValuePacket(AAX_CParamID id, AAX_CPacket& packet) {
    if (mEffectParameters == nullptr) return AAX_ERROR_NULL_OBJECT;
    AAX_IParameter* parameter = nullptr;
    if (mEffectParameters->GetParameter(id, &parameter) != AAX_SUCCESS || parameter == nullptr) {
        return AAX_ERROR_NULL_OBJECT;
    }

    bool boolValue = false;
    float floatValue = 0.0f;
    int32_t intValue = 0;
    double doubleValue = 0.0;
    if (parameter->GetValueAsBool(&boolValue)) {
        packet.SetValue<int32_t>(boolValue ? 1 : 0);
    } else if (parameter->GetValueAsFloat(&floatValue)) {
        packet.SetValue(floatValue);
    } else if (parameter->GetValueAsInt32(&intValue)) {
        packet.SetValue(intValue);
    } else if (parameter->GetValueAsDouble(&doubleValue)) {
        packet.SetValue(doubleValue);
    } else {
        return AAX_ERROR_NULL_OBJECT;
    }
    return AAX_SUCCESS;
}
