#include "wrapper/AAXWrapper_Parameters.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "params/AAX_CBinaryDisplayDelegate.h"
#include "params/AAX_CBinaryTaperDelegate.h"
#include "params/AAX_CLinearTaperDelegate.h"
#include "params/AAX_CNumberDisplayDelegate.h"
#include "params/AAX_CParameter.h"
#include "params/AAX_CString.h"
#include "render/AlgorithmContext.h"
#include "interfaces/aax_ids.h"
#include "params/AAX_Guarded.h"
#include "vsthost/LoadVstPlugin.h"

namespace {

char gLoadFailureMessage[kAAXWrapper_LoadFailureMessageSize] = {};

constexpr const char* kManufacturerName = "Brenlock";
constexpr const char* kProductName = "VantreloDelay";
constexpr const char* kMasterBypassName = "Master Bypass";
// Used when the host does not tell the rate, as the effect's host callback does.
constexpr float kFallbackSampleRate = 44100.0f;

void FormatLoadFailureMessage() {
    std::snprintf(gLoadFailureMessage, sizeof gLoadFailureMessage,
                  "Unable to load %s \n you should reinstall your %s product", kManufacturerName, kProductName);
}

// The low 32 bits of a dispatcher result, as the signed value the effect meant.
int32_t Low32(intptr_t result) { return static_cast<int32_t>(static_cast<uint32_t>(result & 0xFFFFFFFF)); }

// A chunk length that the host's size can carry. A wider one would be cut, and the state with
// it; a negative one would read as a size of about 4 GiB.
bool FitsChunkSize(intptr_t length) { return length >= 0 && length <= std::numeric_limits<int32_t>::max(); }

// Identifiers an effect parameter may not have: the one the host reads as the master bypass's.
bool IsReservedIdentifier(const char* id) { return std::strcmp(id, AAX_MasterBypassID) == 0; }

AAX_OwnedParameter NewFloatParameter(const char* id, const char* name, uint32_t steps) {
    AAX_OwnedParameter parameter(new AAX_CParameter<float>(
        id, AAX_CString(name), 0.0f, AAX_CLinearTaperDelegate<float, 0>(0.0f, 1.0f),
        AAX_CNumberDisplayDelegate<float, 2, 0>(), true));
    parameter->SetNumberOfSteps(steps);
    return parameter;
}

AAX_OwnedParameter NewSwitchParameter(const char* id, const char* name, const char* falseText,
                                                   const char* trueText) {
    AAX_OwnedParameter parameter(new AAX_CParameter<bool>(id, AAX_CString(name), false,
                                                          AAX_CBinaryTaperDelegate<bool>(),
                                                          AAX_CBinaryDisplayDelegate<bool>(falseText, trueText), true));
    parameter->SetNumberOfSteps(2);
    parameter->SetType(AAX_eParameterType_Discrete);
    return parameter;
}

// Copies at most capacity - 1 bytes of a field that the effect may not have terminated.
void CopyBoundedText(char* destination, size_t destinationSize, const char* source, size_t sourceCapacity) {
    const size_t length = strnlen(source, sourceCapacity);
    const size_t copied = length < destinationSize - 1 ? length : destinationSize - 1;
    std::memcpy(destination, source, copied);
    destination[copied] = '\0';
}

}  // namespace

const char* AAXWrapper_LoadFailureMessage() { return gLoadFailureMessage; }

AAX_IEffectParameters* AAXWrapper_Parameters::Create() {
    // The host calls this through a plain function pointer: nothing may escape it.
    try {
        return new AAXWrapper_Parameters();
    } catch (...) {
        return nullptr;
    }
}

AAXWrapper_Parameters::AAXWrapper_Parameters() {
    // Owned here until the load is done, so that nothing is lost if anything on the way throws.
    auto owned = std::make_unique<VstInstance>(this);
    VstInterface& vst = owned->vst;
    VstCallBack& callBack = owned->callBack;
    callBack.parameterManager = &mParameterManager;
    callBack.SetController(mController);
    vst.effect = nullptr;
    vst.effect = LoadVstPlugin();
    vstLoaded = 0;
    if (vst.effect != nullptr) {
        vstLoaded = 1;
        chunkSizeBeforeRestore = 0;
        // The host callback finds this instance's VstCallBack through `user`; set last, whole,
        // because a thread the effect started may be calling already.
        std::atomic_ref<void*>(vst.effect->user).store(&callBack, std::memory_order_release);
    } else {
        FormatLoadFailureMessage();
    }
    vstInterface = &vst;
    vstCallBack = &callBack;
    mVstInstance = owned.release();
}

AAXWrapper_Parameters::~AAXWrapper_Parameters() {
    // The effect closes first (the VstInterface goes before the VstCallBack): until effClose
    // returns, its threads may call back, and the VstCallBack, the parameters and the host
    // wrappers are all still there for them.
    delete mVstInstance;
    mVstInstance = nullptr;
    vstInterface = nullptr;
    vstCallBack = nullptr;
}

ACFRESULT AAXWrapper_Parameters::InternalQueryInterface(const acfIID& iid, void** outInterface) noexcept {
    if (outInterface != nullptr && iid == IID_AAXWrapperParametersSelf) {
        *outInterface = this;
        AddRef();
        return ACF_OK;
    }
    return AAX_CEffectParameters::InternalQueryInterface(iid, outInterface);
}

bool AAXWrapper_Parameters::EffectUsable() const noexcept { return vstLoaded == 1 && !vstInterface->HasFailed(); }

// ---------------------------------------------------------------------------------------------
// Parameter mirroring

AAX_IParameter* AAXWrapper_Parameters::AddOwnedParameter(AAX_OwnedParameter parameter) {
    if (!mParameterManager.AddParameter(parameter.get())) return nullptr;
    return parameter.release();
}

void AAXWrapper_Parameters::MirrorEffectParameter(int32_t index) {
    if (vstInterface->CanBeAutomated(index, 0) == 0) return;
    const float currentValue = vstInterface->GetParameter(index, 0.0f);

    vst2::VstParameterProperties properties{};
    // Both buffers have room for an effect that writes more than it is told: names often run past
    // the nominal 8 characters, and an identifier may ignore the capacity it is given. Each is cut
    // to what the module keeps.
    char name[VstInterface::kParameterNameBufferSize] = {};
    char id[VstInterface::kParameterNameBufferSize] = {};
    AAX_OwnedParameter parameter;
    if (vstInterface->GetParameterProperties(index, &properties, 0) == 0) {
        vstInterface->GetParamName(index, name);
        vstInterface->GetParameterId(index, id, static_cast<intptr_t>(kParameterIdCapacity));
        id[kParameterIdCapacity - 1] = '\0';
        if (IsReservedIdentifier(id)) return;
        parameter = NewFloatParameter(id, name, kContinuousSteps);
    } else {
        // The name reads label, line feed, short label: the host picks the variant that fits.
        CopyBoundedText(name, sizeof name, properties.label, sizeof properties.label);
        if (properties.shortLabel[0] != '\0') {
            const size_t labelLength = std::strlen(name);
            name[labelLength] = '\n';
            CopyBoundedText(name + labelLength + 1, sizeof name - labelLength - 1, properties.shortLabel,
                            sizeof properties.shortLabel);
        }
        vstInterface->GetParameterId(index, id, static_cast<intptr_t>(kParameterIdCapacity));
        id[kParameterIdCapacity - 1] = '\0';
        if (IsReservedIdentifier(id)) return;
        const bool isSwitch = (properties.flags & vst2::kVstParameterIsSwitch) != 0;
        if (!isSwitch || properties.stepInteger < 2) {
            // A switch with fewer than two positions (or a step count that means nothing) has no
            // steps to give the host: it is mirrored as continuous, so every value the effect
            // can hold still passes unchanged.
            parameter = NewFloatParameter(id, name, kContinuousSteps);
        } else if (properties.stepInteger == 2) {
            parameter = NewSwitchParameter(id, name, "off", "on");
        } else {
            parameter = NewFloatParameter(id, name, static_cast<uint32_t>(properties.stepInteger));
        }
    }

    // Configured before the manager attaches the automation delegate, so nothing reaches the
    // host: the effect's current value becomes both value and default.
    parameter->SetNormalizedValue(static_cast<double>(currentValue));
    parameter->SetNormalizedDefaultValue(static_cast<double>(currentValue));
    // An identifier already taken (the master bypass's empty one, or a duplicate) is refused:
    // that index has no host parameter, and its gestures reach none.
    if (AAX_IParameter* mirrored = AddOwnedParameter(std::move(parameter))) {
        vstCallBack->MirrorParameter(index, mirrored, currentValue);
    }
}

void AAXWrapper_Parameters::PostField(AAX_CFieldIndex field, const void* payload, uint32_t size) {
    if (mController != nullptr) mController->PostPacket(field, payload, size);
}

void AAXWrapper_Parameters::PostChannelCounts() {
    int32_t inputFormat = 0;
    int32_t outputFormat = 0;
    if (mController != nullptr) {
        mController->GetInputStemFormat(&inputFormat);
        mController->GetOutputStemFormat(&outputFormat);
    }
    const int32_t inputChannels = AAX_StemFormatChannelCount(inputFormat);
    const int32_t outputChannels = AAX_StemFormatChannelCount(outputFormat);
    PostField(kField_InputChannels, &inputChannels, sizeof inputChannels);
    PostField(kField_OutputChannels, &outputChannels, sizeof outputChannels);
}

AAX_Result AAXWrapper_Parameters::EffectInit() {
    if (vstLoaded == 0) {
        // The channel counts let the processing write silence to every output.
        PostChannelCounts();
        PostField(kField_Loaded, &vstLoaded, sizeof vstLoaded);
        return AAX_SUCCESS;
    }

    AAX_CString bypassID;
    {
        // The effect's calls from its own threads find no parameter (and no controller) until
        // the parameters are all there; its answers to this thread see those made so far.
        const VstCallBack::LinkChange mirroring(*vstCallBack);
        vstCallBack->SetController(mController);

        float sampleRate = kFallbackSampleRate;
        if (mController != nullptr) mController->GetSampleRate(&sampleRate);
        vstInterface->SetSampleRate(std::trunc(sampleRate));

        // No parameter exists yet, so this is the identifier the base will keep answering for
        // the master bypass: no effect parameter takes the one it would answer otherwise.
        GetMasterBypassParameter(&bypassID);
        mMasterBypass = AddOwnedParameter(NewSwitchParameter(bypassID.Get(), kMasterBypassName, "bypass", "on"));

        const int32_t count = VstInterface::BoundedParameterCount(vstInterface->NumParams(0));
        vstCallBack->PrepareMirrors(count);
        for (int32_t index = 0; index < count; ++index) MirrorEffectParameter(index);
    }

    vstInterface->Open();
    // Told once, before it resumes: the effect may size its buffers from it.
    vstInterface->SetBlockSize(VstInterface::kMaxBlockFrames);
    vstInterface->MainsChanged(1);
    // Once resumed the effect has settled its channel counts; processing must not allocate.
    vstInterface->SizeChannelArrays();

    if (vstInterface->HasFailed()) {
        // The effect threw on the way: the instance goes on as one whose effect did not load.
        {
            const VstCallBack::LinkChange withdrawing(*vstCallBack);
            ForgetParameters();
        }
        PostChannelCounts();
        const int32_t notLoaded = 0;
        PostField(kField_Loaded, &notLoaded, sizeof notLoaded);
        return AAX_SUCCESS;
    }

    const AAX_CPacketHandler<AAX_CPacketDispatcher> bypassHandler(&mPacketDispatcher,
                                                                  &AAX_CPacketDispatcher::GenerateSingleValuePacket);
    mPacketDispatcher.RegisterPacket(bypassID.Get(), kField_MasterBypass, &bypassHandler);

    const VstInterface* instance = vstInterface;
    PostChannelCounts();
    PostField(kField_VstInterface, &instance, sizeof instance);
    PostField(kField_Loaded, &vstLoaded, sizeof vstLoaded);
    return AAX_SUCCESS;
}

AAX_Result AAXWrapper_Parameters::TimerWakeup() noexcept {
    if (vstLoaded == 1) {
        vstInterface->ReportDeferredFailure();
        vstInterface->TakeUpChannelChange();
    }
    vstCallBack->ServeDeferredReadBack();
    return AAX_CEffectParameters::TimerWakeup();
}

AAX_Result AAXWrapper_Parameters::Uninitialize() noexcept {
    // The effect stays open (only destruction closes it), and its threads may call at any time:
    // they find no parameter and no controller from here on, and none is taken away while one of
    // their calls uses it.
    const VstCallBack::LinkChange withdrawing(*vstCallBack);
    vstCallBack->SetController(nullptr);
    ForgetParameters();
    return AAX_CEffectParameters::Uninitialize();
}

void AAXWrapper_Parameters::ForgetParameters() noexcept {
    vstCallBack->ForgetMirrors();
    mMasterBypass = nullptr;
    mParameterManager.RemoveAllParameters();
}

// ---------------------------------------------------------------------------------------------
// Value routing

AAX_Result AAXWrapper_Parameters::UpdateParameterNormalizedValue(AAX_CParamID id, double value,
                                                                 AAX_EUpdateSource /*source*/) noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
        if (parameter == nullptr) return AAX_ERROR_INVALID_PARAMETER_ID;
        parameter->UpdateNormalizedValue(value);

        if (vstLoaded != 1) return AAX_SUCCESS;
        // The master bypass is the parameter made for it, whatever identifiers the effect uses.
        if (parameter == mMasterBypass) {
            // The effect bypasses itself.
            vstInterface->SetBypass(value > 0.0);
            return AAX_SUCCESS;
        }
        // The effect's answer is only trusted as far as it names one of its own parameters;
        // cutting a wider answer to 32 bits would name the wrong one.
        const intptr_t found = vstInterface->FindParameterIndex(id, -1);
        if (found < 0 || found >= vstInterface->NumParams(0)) return AAX_SUCCESS;
        const auto index = static_cast<int32_t>(found);
        const auto delivered = static_cast<float>(value);
        // A value the effect already holds is not handed over again (linked controls confirming
        // each other's changes end here).
        if (!vstCallBack->TakeDelivery(index, delivered)) return AAX_SUCCESS;
        const VstCallBack::ParameterDelivery delivering(*vstCallBack, index);
        vstInterface->SetParameter(index, delivered);
        return AAX_SUCCESS;
    });
}

// ---------------------------------------------------------------------------------------------
// State

AAX_CTypeID AAXWrapper_Parameters::CurrentChunkID() const noexcept {
    return static_cast<AAX_CTypeID>(vstInterface->UniqueId(0));
}

AAX_Result AAXWrapper_Parameters::GetChunkIDFromIndex(int32_t index, AAX_CTypeID* chunkID) const noexcept {
    if (chunkID == nullptr) return AAX_ERROR_NULL_OBJECT;
    if (index != 0) {
        *chunkID = 0;
        return AAX_ERROR_INVALID_CHUNK_INDEX;
    }
    *chunkID = CurrentChunkID();
    return AAX_SUCCESS;
}

AAX_Result AAXWrapper_Parameters::GetChunkSize(AAX_CTypeID chunkID, uint32_t* size) const noexcept {
    if (!EffectUsable()) return AAX_ERROR_INVALID_CHUNK_ID;
    if (size == nullptr) return AAX_ERROR_NULL_OBJECT;
    if (chunkID != CurrentChunkID()) {
        *size = 0;
        return AAX_ERROR_INVALID_CHUNK_ID;
    }
    void* data = nullptr;
    const intptr_t answer = vstInterface->GetChunk(&data, -1);
    // An effect that threw has no state to give: it now counts as not loaded.
    if (vstInterface->HasFailed()) return AAX_ERROR_INVALID_CHUNK_ID;
    if (!FitsChunkSize(answer)) {
        mReportedChunkSize = kNoChunkSizeReported;
        return AAX_ERROR_INCORRECT_CHUNK_SIZE;
    }
    const auto length = static_cast<int32_t>(answer);
    *size = static_cast<uint32_t>(length);
    mReportedChunkSize = length;
    return AAX_SUCCESS;
}

AAX_Result AAXWrapper_Parameters::GetChunk(AAX_CTypeID chunkID, AAX_SPlugInChunk* chunk) const noexcept {
    if (!EffectUsable() || chunkID != CurrentChunkID()) return AAX_ERROR_INVALID_CHUNK_ID;
    if (chunk == nullptr) return AAX_ERROR_NULL_OBJECT;

    void* data = nullptr;
    const intptr_t answer = vstInterface->GetChunk(&data, -1);
    if (vstInterface->HasFailed()) return AAX_ERROR_INVALID_CHUNK_ID;
    if (!FitsChunkSize(answer)) return AAX_ERROR_INCORRECT_CHUNK_SIZE;
    const auto length = static_cast<int32_t>(answer);
    // The host sized the record from the last reported size; more than that would overrun it.
    if (mReportedChunkSize == kNoChunkSizeReported || mReportedChunkSize < 0 || length > mReportedChunkSize) {
        return AAX_ERROR_INCORRECT_CHUNK_SIZE;
    }
    if (length > 0 && data == nullptr) return AAX_ERROR_NULL_OBJECT;
    chunk->fSize = length;
    if (length > 0) std::memcpy(chunk->fData, data, static_cast<size_t>(length));
    return AAX_SUCCESS;
}

AAX_Result AAXWrapper_Parameters::SetChunk(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk) noexcept {
    if (!EffectUsable() || chunkID != CurrentChunkID()) return AAX_ERROR_INVALID_CHUNK_ID;
    if (chunk == nullptr) return AAX_ERROR_NULL_OBJECT;
    if (chunk->fSize < 0) return AAX_ERROR_INCORRECT_CHUNK_SIZE;

    if (chunkSizeBeforeRestore == 0) {
        // Lets the effect prepare its current chunk once before the first restore.
        void* data = nullptr;
        chunkSizeBeforeRestore = Low32(vstInterface->GetChunk(&data, -1));
    }
    // The effect takes the bytes as given; it does not write through the pointer.
    vstInterface->SetChunk(static_cast<intptr_t>(chunk->fSize), const_cast<char*>(chunk->fData));
    if (vstInterface->HasFailed()) return AAX_ERROR_INVALID_CHUNK_ID;
    // The restored state is the effect's: the host's parameters now show its values.
    vstCallBack->ReadBackValues();
    return AAX_SUCCESS;
}
