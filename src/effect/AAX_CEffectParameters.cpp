#include "effect/AAX_CEffectParameters.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "interfaces/aax_ids.h"
#include "params/AAX_Guarded.h"

namespace {

// Only this many characters of a shortened name take part in choosing a variant.
constexpr size_t kMaxNameVariantSource = 255;

// Answers a query about one parameter: a null output is -20004, an unknown identifier -20001,
// otherwise the output gets read(parameter).
template <typename Out, typename Read>
AAX_Result ReadParameter(const AAX_CParameterManager& manager, AAX_CParamID id, Out* out, Read read) noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        if (out == nullptr) return AAX_ERROR_NULL_OBJECT;
        const AAX_IParameter* parameter = manager.GetParameterByID(id);
        if (parameter == nullptr) return AAX_ERROR_INVALID_PARAMETER_ID;
        *out = read(*parameter);
        return AAX_SUCCESS;
    });
}

// Applies change(parameter) to one parameter; an unknown identifier is -20001.
template <typename Change>
AAX_Result ChangeParameter(AAX_CParameterManager& manager, AAX_CParamID id, Change change) noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        AAX_IParameter* parameter = manager.GetParameterByID(id);
        if (parameter == nullptr) return AAX_ERROR_INVALID_PARAMETER_ID;
        change(*parameter);
        return AAX_SUCCESS;
    });
}

}  // namespace

AAX_CEffectParameters::AAX_CEffectParameters() = default;

AAX_CEffectParameters::~AAX_CEffectParameters() {
    // A host that releases the data model without Uninitialize must not leave the wrappers (and
    // the host references they hold) behind. The parameters go first: they unregister through
    // the automation delegate.
    if (mController != nullptr || mAutomationDelegate != nullptr || mTransport != nullptr) {
        mParameterManager.RemoveAllParameters();
        DeleteHostWrappers();
    }
}

AAX_Result AAX_CEffectParameters::EffectInit() { return AAX_SUCCESS; }

// ---------------------------------------------------------------------------------------------
// Component

ACFRESULT AAX_CEffectParameters::QueryInterface(const acfIID& iid, void** outInterface) noexcept {
    return GetOuterUnknown()->QueryInterface(iid, outInterface);
}

acfUInt32 AAX_CEffectParameters::AddRef() noexcept { return GetOuterUnknown()->AddRef(); }

acfUInt32 AAX_CEffectParameters::Release() noexcept { return GetOuterUnknown()->Release(); }

ACFRESULT AAX_CEffectParameters::InternalQueryInterface(const acfIID& iid, void** outInterface) noexcept {
    if (outInterface == nullptr) return ACF_E_NOINTERFACE;
    if (iid == IID_IAAXEffectParametersV1 || iid == IID_IAAXEffectParametersV2) {
        AAX_IACFEffectParameters_V2* self = this;
        *outInterface = self;
        self->AddRef();
        return ACF_OK;
    }
    return CACFUnknown::InternalQueryInterface(iid, outInterface);
}

// ---------------------------------------------------------------------------------------------
// Life cycle

AAX_Result AAX_CEffectParameters::Initialize(IACFUnknown* host) noexcept {
    // The first call's wrappers would otherwise be lost, with the host references they hold and
    // the parameters registered through them.
    if (mController != nullptr || mAutomationDelegate != nullptr || mTransport != nullptr) Uninitialize();
    const AAX_Result result = AAX_Guarded([&]() -> AAX_Result {
        mController = new AAX_VController(host);
        mAutomationDelegate = new AAX_VAutomationDelegate(host);
        mTransport = new AAX_VTransport(host);

        // A wrapper without the host's delegate would swallow every value request.
        if (mAutomationDelegate->IsValid()) {
            mParameterManager.Initialize(mAutomationDelegate);
        } else {
            mParameterManager.Initialize(&mSelfConfirmingAutomation);
        }
        mPacketDispatcher.Initialize(mController, this);

        const AAX_Result initResult = EffectInit();
        if (initResult != AAX_SUCCESS) return initResult;

        AAX_CString bypassID;
        GetMasterBypassParameter(&bypassID);
        mFilteredParameters.insert(bypassID.StdString());
        return AAX_SUCCESS;
    });
    // Out of memory (or anything else thrown) on the way: nothing half built stays behind.
    if (result == AAX_ERROR_PLUGIN_OUT_OF_MEMORY || result == ACF_E_UNEXPECTED) Uninitialize();
    return result;
}

AAX_Result AAX_CEffectParameters::Uninitialize() noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        mParameterManager.RemoveAllParameters();
        DeleteHostWrappers();
        return AAX_SUCCESS;
    });
}

AAX_Result AAX_CEffectParameters::SelfConfirmingAutomation::RegisterParameter(AAX_CParamID) { return AAX_SUCCESS; }

AAX_Result AAX_CEffectParameters::SelfConfirmingAutomation::UnregisterParameter(AAX_CParamID) { return AAX_SUCCESS; }

AAX_Result AAX_CEffectParameters::SelfConfirmingAutomation::PostSetValueRequest(AAX_CParamID parameterID,
                                                                               double normalizedValue) const {
    return mOwner.UpdateParameterNormalizedValue(parameterID, normalizedValue, AAX_eUpdateSource_Unspecified);
}

AAX_Result AAX_CEffectParameters::SelfConfirmingAutomation::PostCurrentValue(AAX_CParamID, double) const {
    return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::SelfConfirmingAutomation::PostTouchRequest(AAX_CParamID) { return AAX_SUCCESS; }

AAX_Result AAX_CEffectParameters::SelfConfirmingAutomation::PostReleaseRequest(AAX_CParamID) { return AAX_SUCCESS; }

AAX_Result AAX_CEffectParameters::SelfConfirmingAutomation::GetTouchState(AAX_CParamID, bool* outTouched) {
    if (outTouched != nullptr) *outTouched = false;
    return AAX_SUCCESS;
}

void AAX_CEffectParameters::DeleteHostWrappers() {
    // Nothing may keep using the wrappers once they are gone.
    mPacketDispatcher.Initialize(nullptr, this);
    mParameterManager.Initialize(nullptr);
    delete mController;
    mController = nullptr;
    delete mAutomationDelegate;
    mAutomationDelegate = nullptr;
    if (mTransport != nullptr) mTransport->Destroy(AAX_kDestroyFreesMemory);  // slot 0
    mTransport = nullptr;
}

AAX_Result AAX_CEffectParameters::NotificationReceived(AAX_CTypeID type, const void* data, uint32_t size) noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        if (type != AAX_eNotificationEvent_ASPreviewState) return AAX_SUCCESS;
        AAX_IParameter* preview = mParameterManager.GetParameterByID(AAX_PreviewID);
        if (preview == nullptr || data == nullptr || size < sizeof(int32_t)) return AAX_SUCCESS;
        int32_t previewing = 0;
        std::memcpy(&previewing, data, sizeof previewing);
        preview->SetValueWithBool(previewing != 0);
        return AAX_SUCCESS;
    });
}

// ---------------------------------------------------------------------------------------------
// Parameter queries

AAX_Result AAX_CEffectParameters::GetNumberOfParameters(int32_t* numParameters) const noexcept {
    if (numParameters == nullptr) return AAX_ERROR_NULL_OBJECT;
    *numParameters = mParameterManager.NumParameters();
    return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetMasterBypassParameter(AAX_IString* parameterID) const noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        if (parameterID == nullptr) return AAX_ERROR_NULL_OBJECT;
        const bool present = mParameterManager.GetParameterByID(AAX_MasterBypassID) != nullptr;
        parameterID->Set(present ? AAX_MasterBypassID : "");
        return AAX_SUCCESS;
    });
}

AAX_Result AAX_CEffectParameters::GetParameterIsAutomatable(AAX_CParamID id, bool* automatable) const noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        if (automatable == nullptr) return AAX_ERROR_NULL_OBJECT;
        *automatable = false;
        const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
        if (parameter == nullptr) return AAX_ERROR_INVALID_PARAMETER_ID;
        *automatable = parameter->Automatable();
        return AAX_SUCCESS;
    });
}

AAX_Result AAX_CEffectParameters::GetParameterNumberOfSteps(AAX_CParamID id, int32_t* numSteps) const noexcept {
    return ReadParameter(mParameterManager, id, numSteps,
                         [](const AAX_IParameter& p) { return static_cast<int32_t>(p.GetNumberOfSteps()); });
}

AAX_Result AAX_CEffectParameters::GetParameterName(AAX_CParamID id, AAX_IString* name) const noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        if (name == nullptr) return AAX_ERROR_NULL_OBJECT;
        const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
        if (parameter == nullptr) {
            name->Set("");
            return AAX_SUCCESS;
        }
        *name = parameter->Name();
        return AAX_SUCCESS;
    });
}

AAX_Result AAX_CEffectParameters::GetParameterNameOfLength(AAX_CParamID id, AAX_IString* name, int32_t length) const noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        if (name == nullptr) return AAX_ERROR_NULL_OBJECT;
        const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
        if (parameter == nullptr) {
            name->Set("");
            return AAX_SUCCESS;
        }
        const AAX_CString& shortened = parameter->ShortenedName(length);
        if (shortened.Length() == 0) return AAX_SUCCESS;

        const std::string_view source(shortened.Get(), std::min<size_t>(shortened.Length(), kMaxNameVariantSource));
        std::string_view best;
        size_t start = 0;
        while (start <= source.size()) {
            const size_t newline = source.find('\n', start);
            const size_t stop = newline == std::string_view::npos ? source.size() : newline;
            const std::string_view variant = source.substr(start, stop - start);
            if (!variant.empty() && static_cast<int64_t>(variant.size()) <= length && variant.size() > best.size()) {
                best = variant;
            }
            if (newline == std::string_view::npos) break;
            start = newline + 1;
        }
        if (best.empty()) {
            *name = shortened;
        } else {
            name->Set(std::string(best).c_str());
        }
        return AAX_SUCCESS;
    });
}

AAX_Result AAX_CEffectParameters::GetParameterDefaultNormalizedValue(AAX_CParamID id, double* value) const noexcept {
    return ReadParameter(mParameterManager, id, value,
                         [](const AAX_IParameter& p) { return p.GetNormalizedDefaultValue(); });
}

AAX_Result AAX_CEffectParameters::SetParameterDefaultNormalizedValue(AAX_CParamID id, double value) noexcept {
    return ChangeParameter(mParameterManager, id, [value](AAX_IParameter& p) { p.SetNormalizedDefaultValue(value); });
}

AAX_Result AAX_CEffectParameters::GetParameterType(AAX_CParamID id, AAX_EParameterType* type) const noexcept {
    return ReadParameter(mParameterManager, id, type, [](const AAX_IParameter& p) { return p.GetType(); });
}

AAX_Result AAX_CEffectParameters::GetParameterOrientation(AAX_CParamID id,
                                                          AAX_EParameterOrientation* orientation) const noexcept {
    return ReadParameter(mParameterManager, id, orientation,
                         [](const AAX_IParameter& p) { return p.GetOrientation(); });
}

AAX_Result AAX_CEffectParameters::GetParameter(AAX_CParamID id, AAX_IParameter** parameter) noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        if (parameter == nullptr) return AAX_ERROR_NULL_OBJECT;
        *parameter = mParameterManager.GetParameterByID(id);
        return *parameter != nullptr ? AAX_SUCCESS : AAX_ERROR_INVALID_PARAMETER_ID;
    });
}

AAX_Result AAX_CEffectParameters::GetParameterIndex(AAX_CParamID id, int32_t* index) const noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        if (index == nullptr) return AAX_ERROR_NULL_OBJECT;
        *index = mParameterManager.GetParameterIndex(id);
        return *index >= 0 ? AAX_SUCCESS : AAX_ERROR_INVALID_PARAMETER_ID;
    });
}

AAX_Result AAX_CEffectParameters::GetParameterIDFromIndex(int32_t index, AAX_IString* id) const noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        if (id == nullptr) return AAX_ERROR_NULL_OBJECT;
        const AAX_IParameter* parameter = mParameterManager.GetParameter(index);
        if (parameter == nullptr) {
            id->Set("");
            return AAX_ERROR_INVALID_PARAMETER_ID;
        }
        id->Set(parameter->Identifier());
        return AAX_SUCCESS;
    });
}

AAX_Result AAX_CEffectParameters::GetParameterValueInfo(AAX_CParamID, int32_t, int32_t* value) const noexcept {
    if (value != nullptr) *value = 0;
    return AAX_ERROR_UNIMPLEMENTED;
}

AAX_Result AAX_CEffectParameters::GetParameterValueFromString(AAX_CParamID id, double* value,
                                                              const AAX_IString& valueString) const noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        if (value == nullptr) return AAX_ERROR_NULL_OBJECT;
        const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
        if (parameter == nullptr) return AAX_ERROR_INVALID_PARAMETER_ID;
        double converted = 0.0;
        if (!parameter->GetNormalizedValueFromString(AAX_CString(valueString.Get()), &converted)) {
            return AAX_ERROR_INVALID_STRING_CONVERSION;
        }
        *value = converted;
        return AAX_SUCCESS;
    });
}

AAX_Result AAX_CEffectParameters::GetParameterStringFromValue(AAX_CParamID id, double value,
                                                              AAX_IString* valueString, int32_t maxLength) const noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        if (valueString == nullptr) return AAX_ERROR_NULL_OBJECT;
        const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
        if (parameter == nullptr) return AAX_ERROR_INVALID_PARAMETER_ID;
        AAX_CString text;
        if (!parameter->GetStringFromNormalizedValue(value, maxLength, text)) return AAX_ERROR_INVALID_STRING_CONVERSION;
        *valueString = text;
        return AAX_SUCCESS;
    });
}

AAX_Result AAX_CEffectParameters::GetParameterValueString(AAX_CParamID id, AAX_IString* valueString,
                                                          int32_t maxLength) const noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        if (valueString == nullptr) return AAX_ERROR_NULL_OBJECT;
        const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
        if (parameter == nullptr) return AAX_ERROR_INVALID_PARAMETER_ID;
        AAX_CString text;
        if (!parameter->GetValueString(maxLength, &text)) return AAX_ERROR_INVALID_STRING_CONVERSION;
        *valueString = text;
        return AAX_SUCCESS;
    });
}

AAX_Result AAX_CEffectParameters::GetParameterNormalizedValue(AAX_CParamID id, double* value) const noexcept {
    return ReadParameter(mParameterManager, id, value, [](const AAX_IParameter& p) { return p.GetNormalizedValue(); });
}

// ---------------------------------------------------------------------------------------------
// Parameter changes

AAX_Result AAX_CEffectParameters::SetParameterNormalizedValue(AAX_CParamID id, double value) noexcept {
    return ChangeParameter(mParameterManager, id, [value](AAX_IParameter& p) { p.SetNormalizedValue(value); });
}

AAX_Result AAX_CEffectParameters::SetParameterNormalizedRelative(AAX_CParamID id, double delta) noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        double value = 0.0;
        const AAX_Result result = GetParameterNormalizedValue(id, &value);
        if (result != AAX_SUCCESS) return result;
        return SetParameterNormalizedValue(id, std::clamp(value + delta, 0.0, 1.0));
    });
}

AAX_Result AAX_CEffectParameters::TouchParameter(AAX_CParamID id) noexcept {
    return ChangeParameter(mParameterManager, id, [](AAX_IParameter& p) { p.Touch(); });
}

AAX_Result AAX_CEffectParameters::ReleaseParameter(AAX_CParamID id) noexcept {
    return ChangeParameter(mParameterManager, id, [](AAX_IParameter& p) { p.Release(); });
}

AAX_Result AAX_CEffectParameters::UpdateParameterTouch(AAX_CParamID, bool) noexcept { return AAX_SUCCESS; }

AAX_Result AAX_CEffectParameters::UpdateParameterNormalizedValue(AAX_CParamID id, double value, AAX_EUpdateSource) noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
        if (parameter == nullptr) return AAX_ERROR_INVALID_PARAMETER_ID;
        parameter->UpdateNormalizedValue(value);
        const AAX_Result result = mPacketDispatcher.SetDirty(id);
        // The count wraps round after its largest value instead of overflowing; a wrapped,
        // negative count is then not reported (GetNumberOfChanges).
        mNumPlugInChanges = static_cast<int32_t>(static_cast<uint32_t>(mNumPlugInChanges) + 1u);
        return result;
    });
}

AAX_Result AAX_CEffectParameters::UpdateParameterNormalizedRelative(AAX_CParamID id, double delta) noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        double value = 0.0;
        const AAX_Result result = GetParameterNormalizedValue(id, &value);
        if (result != AAX_SUCCESS) return result;
        return UpdateParameterNormalizedValue(id, std::clamp(value + delta, 0.0, 1.0), AAX_eUpdateSource_Unspecified);
    });
}

AAX_Result AAX_CEffectParameters::GenerateCoefficients() noexcept {
    return AAX_Guarded([&] { return mPacketDispatcher.Dispatch(); });
}

AAX_Result AAX_CEffectParameters::ResetFieldData(AAX_CFieldIndex, void* data, uint32_t size) const noexcept {
    if (data != nullptr && size > 0) std::memset(data, 0, size);
    return AAX_SUCCESS;
}

// ---------------------------------------------------------------------------------------------
// Chunks

AAX_Result AAX_CEffectParameters::GetNumberOfChunks(int32_t* numChunks) const noexcept {
    if (numChunks == nullptr) return AAX_ERROR_NULL_OBJECT;
    *numChunks = 1;
    return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetChunkIDFromIndex(int32_t index, AAX_CTypeID* chunkID) const noexcept {
    if (chunkID == nullptr) return AAX_ERROR_NULL_OBJECT;
    if (index != 0) {
        *chunkID = 0;
        return AAX_ERROR_INVALID_CHUNK_INDEX;
    }
    *chunkID = AAX_ChunkID_ControlsState;
    return AAX_SUCCESS;
}

void AAX_CEffectParameters::BuildChunkData() const {
    mChunkParser.Clear();
    const int32_t count = mParameterManager.NumParameters();
    for (int32_t index = 0; index < count; ++index) {
        const AAX_IParameter* parameter = mParameterManager.GetParameter(index);
        if (parameter == nullptr) continue;
        const AAX_CParamID id = parameter->Identifier();
        if (mFilteredParameters.count(id) != 0) continue;

        float floatValue = 0.0f;
        int32_t intValue = 0;
        bool boolValue = false;
        double doubleValue = 0.0;
        AAX_CString stringValue;
        if (parameter->GetValueAsFloat(&floatValue)) {
            mChunkParser.AddDouble(id, static_cast<double>(floatValue));
        } else if (parameter->GetValueAsInt32(&intValue)) {
            mChunkParser.AddInt32(id, intValue);
        } else if (parameter->GetValueAsBool(&boolValue)) {
            mChunkParser.AddInt32(id, boolValue ? 1 : 0);
        } else if (parameter->GetValueAsDouble(&doubleValue)) {
            mChunkParser.AddDouble(id, doubleValue);
        } else if (parameter->GetValueAsString(&stringValue)) {
            mChunkParser.AddString(id, stringValue.Get());
        }
    }
}

AAX_Result AAX_CEffectParameters::GetChunkSize(AAX_CTypeID chunkID, uint32_t* size) const noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        if (size == nullptr) return AAX_ERROR_NULL_OBJECT;
        if (chunkID != AAX_ChunkID_ControlsState) {
            *size = 0;
            return AAX_ERROR_INVALID_CHUNK_ID;
        }
        BuildChunkData();
        mChunkSize = mChunkParser.GetChunkDataSize();
        *size = static_cast<uint32_t>(mChunkSize);
        return AAX_SUCCESS;
    });
}

AAX_Result AAX_CEffectParameters::GetChunk(AAX_CTypeID chunkID, AAX_SPlugInChunk* chunk) const noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        if (chunk == nullptr) return AAX_ERROR_NULL_OBJECT;
        if (chunkID != AAX_ChunkID_ControlsState) return AAX_ERROR_INVALID_CHUNK_ID;
        BuildChunkData();
        if (!mChunkParser.IsComplete()) return AAX_ERROR_PLUGIN_OUT_OF_MEMORY;
        // The host allocated the record from the size GetChunkSize reported; anything else would
        // overrun or misreport it.
        if (mChunkSize == 0 || mChunkParser.GetChunkDataSize() != mChunkSize) return AAX_ERROR_INCORRECT_CHUNK_SIZE;

        const AAX_Result result = mChunkParser.GetChunkData(chunk);
        if (result != AAX_SUCCESS) return result;
        chunk->fVersion = mChunkParser.GetChunkVersion();
        std::memset(chunk->fName, 0, sizeof chunk->fName);
        std::strncpy(reinterpret_cast<char*>(chunk->fName), AAX_ChunkName_ControlsState, sizeof chunk->fName - 1);
        return AAX_SUCCESS;
    });
}

AAX_Result AAX_CEffectParameters::SetChunk(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk) noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        if (chunkID != AAX_ChunkID_ControlsState) return AAX_ERROR_INVALID_CHUNK_ID;
        if (chunk == nullptr) return AAX_ERROR_NULL_OBJECT;
        mChunkParser.LoadChunk(chunk);
        // Applying the entries read before memory ran out would restore part of the state as if it
        // were all of it.
        if (!mChunkParser.IsComplete()) return AAX_ERROR_PLUGIN_OUT_OF_MEMORY;

        const int32_t count = mParameterManager.NumParameters();
        for (int32_t index = 0; index < count; ++index) {
            AAX_IParameter* parameter = mParameterManager.GetParameter(index);
            if (parameter == nullptr) continue;
            const AAX_CParamID id = parameter->Identifier();
            if (mFilteredParameters.count(id) != 0) continue;

            float floatValue = 0.0f;
            int32_t intValue = 0;
            bool boolValue = false;
            double doubleValue = 0.0;
            AAX_CString stringValue;
            double foundDouble = 0.0;
            int32_t foundInt = 0;
            if (parameter->GetValueAsFloat(&floatValue)) {
                if (mChunkParser.FindDouble(id, &foundDouble)) parameter->SetValueWithFloat(static_cast<float>(foundDouble));
            } else if (parameter->GetValueAsInt32(&intValue)) {
                if (mChunkParser.FindInt32(id, &foundInt)) parameter->SetValueWithInt32(foundInt);
            } else if (parameter->GetValueAsBool(&boolValue)) {
                if (mChunkParser.FindInt32(id, &foundInt)) parameter->SetValueWithBool(foundInt != 0);
            } else if (parameter->GetValueAsDouble(&doubleValue)) {
                if (mChunkParser.FindDouble(id, &foundDouble)) parameter->SetValueWithDouble(foundDouble);
            } else if (parameter->GetValueAsString(&stringValue)) {
                AAX_CString found;
                if (mChunkParser.FindString(id, &found)) parameter->SetValueWithString(found);
            }
        }
        return AAX_SUCCESS;
    });
}

AAX_Result AAX_CEffectParameters::CompareActiveChunk(const AAX_SPlugInChunk* chunk, bool* isEqual) const noexcept {
    return AAX_Guarded([&]() -> AAX_Result {
        if (chunk == nullptr || isEqual == nullptr) return AAX_ERROR_NULL_OBJECT;
        if (chunk->fChunkID != AAX_ChunkID_ControlsState) {
            // Not ours to judge: another chunk of the plug-in.
            *isEqual = true;
            return AAX_SUCCESS;
        }
        *isEqual = false;
        mChunkParser.LoadChunk(chunk);

        const int32_t count = mParameterManager.NumParameters();
        for (int32_t index = 0; index < count; ++index) {
            const AAX_IParameter* parameter = mParameterManager.GetParameter(index);
            if (parameter == nullptr) continue;
            const AAX_CParamID id = parameter->Identifier();
            if (mFilteredParameters.count(id) != 0) continue;

            float floatValue = 0.0f;
            int32_t intValue = 0;
            bool boolValue = false;
            double doubleValue = 0.0;
            AAX_CString stringValue;
            double foundDouble = 0.0;
            int32_t foundInt = 0;
            bool matches = true;
            if (parameter->GetValueAsFloat(&floatValue)) {
                matches = mChunkParser.FindDouble(id, &foundDouble) && static_cast<float>(foundDouble) == floatValue;
            } else if (parameter->GetValueAsInt32(&intValue)) {
                matches = mChunkParser.FindInt32(id, &foundInt) && foundInt == intValue;
            } else if (parameter->GetValueAsBool(&boolValue)) {
                matches = mChunkParser.FindInt32(id, &foundInt) && (foundInt != 0) == boolValue;
            } else if (parameter->GetValueAsDouble(&doubleValue)) {
                matches = mChunkParser.FindDouble(id, &foundDouble) &&
                          static_cast<float>(foundDouble) == static_cast<float>(doubleValue);
            } else if (parameter->GetValueAsString(&stringValue)) {
                AAX_CString found;
                matches = mChunkParser.FindString(id, &found) && found.StdString() == stringValue.StdString();
            }
            if (!matches) return AAX_SUCCESS;
        }
        *isEqual = true;
        return AAX_SUCCESS;
    });
}

// ---------------------------------------------------------------------------------------------
// The rest

AAX_Result AAX_CEffectParameters::GetNumberOfChanges(int32_t* numChanges) const noexcept {
    if (numChanges == nullptr) return AAX_ERROR_NULL_OBJECT;
    if (mNumPlugInChanges >= 0) *numChanges = mNumPlugInChanges;
    return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::TimerWakeup() noexcept { return AAX_SUCCESS; }

AAX_Result AAX_CEffectParameters::GetCurveData(AAX_CTypeID, const float*, uint32_t, float*) const noexcept {
    return AAX_ERROR_UNIMPLEMENTED;
}

AAX_Result AAX_CEffectParameters::GetCustomData(AAX_CTypeID, uint32_t, void*, uint32_t* bytesWritten) const noexcept {
    if (bytesWritten != nullptr) *bytesWritten = 0;
    return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::SetCustomData(AAX_CTypeID, uint32_t, const void*) noexcept { return AAX_SUCCESS; }

AAX_Result AAX_CEffectParameters::DoMIDITransfers() noexcept { return AAX_SUCCESS; }

AAX_Result AAX_CEffectParameters::RenderAudio_Hybrid(void*) noexcept { return AAX_ERROR_UNIMPLEMENTED; }

AAX_Result AAX_CEffectParameters::UpdateMIDINodes(AAX_CFieldIndex, AAX_CMidiPacket&) noexcept { return AAX_SUCCESS; }

AAX_Result AAX_CEffectParameters::UpdateControlMIDINodes(AAX_CTypeID, AAX_CMidiPacket&) noexcept { return AAX_SUCCESS; }
