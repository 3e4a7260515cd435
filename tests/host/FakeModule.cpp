#include "FakeModule.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "interfaces/aax_effect.h"
#include "params/AAX_CBinaryDisplayDelegate.h"
#include "params/AAX_CBinaryTaperDelegate.h"
#include "params/AAX_CLinearTaperDelegate.h"
#include "params/AAX_CNumberDisplayDelegate.h"
#include "params/AAX_CParameter.h"

namespace fakemodule {

namespace {

Behaviour gBehaviour;
Observed gObserved;

template <class T>
T* Query(IACFUnknown* unknown, const acfIID& iid) {
    void* out = nullptr;
    if (unknown == nullptr || unknown->QueryInterface(iid, &out) != ACF_OK) return nullptr;
    return static_cast<T*>(out);
}

template <class T>
T* Create(IACFComponentFactory* factory, const acfCLSID& clsid, const acfIID& iid) {
    void* out = nullptr;
    if (factory->CreateComponent(clsid, nullptr, iid, &out) != ACF_OK) return nullptr;
    return static_cast<T*>(out);
}

class Counted {
public:
    Counted() { ++gObserved.liveObjects; }
    virtual ~Counted() { --gObserved.liveObjects; }

protected:
    std::atomic<int32_t> refs_{0};
};

void ProcessProc(void* const instancesBegin[], const void* instancesEnd) {
    for (void* const* it = instancesBegin; it != instancesEnd; ++it) {
        void** record = static_cast<void**>(*it);
        if (record == nullptr) continue;
        ++gObserved.processCalls;
        std::copy(record, record + 7, gObserved.lastRecord);
        float** in = static_cast<float**>(record[kFieldIn]);
        float** out = static_cast<float**>(record[kFieldOut]);
        const int32_t frames = *static_cast<int32_t*>(record[kFieldLength]);
        gObserved.lastFrames = frames;
        float gain = 0.0f;
        std::memcpy(&gain, record[kFieldGain], sizeof gain);
        auto* transportNode = static_cast<AAX_IMIDINode*>(record[kFieldTransport]);
        if (AAX_ITransport* transport = transportNode->GetTransport()) {
            transport->GetCurrentNativeSampleLocation(&gObserved.lastSampleLocation);
            transport->GetCurrentTempo(&gObserved.lastTempo);
            transport->IsTransportPlaying(&gObserved.lastPlaying);
            transport->GetBarBeatPosition(&gObserved.lastBars, &gObserved.lastBeats, &gObserved.lastTicks,
                                          gObserved.lastSampleLocation);
        }
        auto* midi = static_cast<AAX_IMIDINode*>(record[kFieldMidiIn]);
        const AAX_CMidiStream* stream = midi->GetNodeBuffer();
        for (uint32_t p = 0; p < stream->mBufferSize; ++p) {
            ++gObserved.midiPacketsSeen;
            gObserved.lastMidiTimestamp = stream->mBuffer[p].mTimestamp;
            gObserved.lastMidiStatus = stream->mBuffer[p].mData[0];
        }
        // Channel count from the stem: the fake reads out[1] only for stereo (in[1] non-null).
        for (int32_t f = 0; f < frames; ++f) out[0][f] = in[0][f] * gain;
    }
}

void ProcessProcStereo(void* const instancesBegin[], const void* instancesEnd) {
    ProcessProc(instancesBegin, instancesEnd);
    for (void* const* it = instancesBegin; it != instancesEnd && !gBehaviour.leaveSecondOutput; ++it) {
        void** record = static_cast<void**>(*it);
        float** in = static_cast<float**>(record[kFieldIn]);
        float** out = static_cast<float**>(record[kFieldOut]);
        const int32_t frames = *static_cast<int32_t*>(record[kFieldLength]);
        float gain = 0.0f;
        std::memcpy(&gain, record[kFieldGain], sizeof gain);
        for (int32_t f = 0; f < frames; ++f) out[1][f] = in[1][f] * gain;
    }
}

// A data model with two parameters: "" (bypass, 2 steps) and "gain" (continuous). It keeps
// values itself and routes changes through the host's automation delegate, as a real one does.
class FakeDataModel final : public AAX_IACFEffectParameters_V2, public Counted {
public:
    ACFRESULT QueryInterface(const acfIID& iid, void** out) override {
        if (out == nullptr) return ACF_E_NOINTERFACE;
        *out = nullptr;
        if (iid == IID_IACFUnknown || iid == IID_IAAXEffectParametersV1 || iid == IID_IAAXEffectParametersV2) {
            *out = static_cast<AAX_IACFEffectParameters_V2*>(this);
            AddRef();
            return ACF_OK;
        }
        return ACF_E_NOINTERFACE;
    }
    acfUInt32 AddRef() override { return static_cast<acfUInt32>(++refs_); }
    acfUInt32 Release() override {
        const int32_t left = --refs_;
        if (left == 0) delete this;
        return static_cast<acfUInt32>(left);
    }

    AAX_Result Initialize(IACFUnknown* host) override {
        controller_ = Query<AAX_IACFController>(host, IID_IAAXControllerV1);
        automation_ = Query<AAX_IACFAutomationDelegate>(host, IID_IAAXAutomationDelegateV1);
        if (controller_ == nullptr || automation_ == nullptr) return AAX_ERROR_NULL_OBJECT;
        automation_->RegisterParameter("");
        automation_->RegisterParameter("gain");
        const uint64_t blob = 0x1122334455667788ull;
        controller_->PostPacket(kFieldBlob, &blob, sizeof blob);
        dirty_ = true;
        return AAX_SUCCESS;
    }
    AAX_Result Uninitialize() override {
        if (automation_ != nullptr) {
            automation_->UnregisterParameter("");
            automation_->UnregisterParameter("gain");
            automation_->Release();
        }
        if (controller_ != nullptr) controller_->Release();
        automation_ = nullptr;
        controller_ = nullptr;
        return AAX_SUCCESS;
    }
    AAX_Result NotificationReceived(AAX_CTypeID, const void*, uint32_t) override { return AAX_SUCCESS; }
    AAX_Result GetNumberOfParameters(int32_t* n) const override {
        *n = 2;
        return AAX_SUCCESS;
    }
    AAX_Result GetMasterBypassParameter(AAX_IString* id) const override {
        id->Set("");
        return AAX_SUCCESS;
    }
    AAX_Result GetParameterIsAutomatable(AAX_CParamID id, bool* out) const override {
        if (Index(id) < 0) return AAX_ERROR_INVALID_PARAMETER_ID;
        *out = true;
        return AAX_SUCCESS;
    }
    AAX_Result GetParameterNumberOfSteps(AAX_CParamID id, int32_t* steps) const override {
        if (Index(id) < 0) return AAX_ERROR_INVALID_PARAMETER_ID;
        *steps = Index(id) == 0 ? 2 : 101;
        return AAX_SUCCESS;
    }
    AAX_Result GetParameterName(AAX_CParamID id, AAX_IString* name) const override {
        name->Set(Index(id) == 0 ? "Bypass" : Index(id) == 1 ? "Gain" : "");
        return AAX_SUCCESS;
    }
    AAX_Result GetParameterNameOfLength(AAX_CParamID id, AAX_IString* name, int32_t) const override {
        return GetParameterName(id, name);
    }
    AAX_Result GetParameterDefaultNormalizedValue(AAX_CParamID id, double* value) const override {
        if (Index(id) < 0) return AAX_ERROR_INVALID_PARAMETER_ID;
        *value = Index(id) == 0 ? 0.0 : 0.5;
        return AAX_SUCCESS;
    }
    AAX_Result SetParameterDefaultNormalizedValue(AAX_CParamID, double) override { return AAX_SUCCESS; }
    AAX_Result GetParameterType(AAX_CParamID id, AAX_EParameterType* type) const override {
        if (Index(id) < 0) return AAX_ERROR_INVALID_PARAMETER_ID;
        *type = Index(id) == 0 ? AAX_eParameterType_Discrete : AAX_eParameterType_Continuous;
        return AAX_SUCCESS;
    }
    AAX_Result GetParameterOrientation(AAX_CParamID, AAX_EParameterOrientation* o) const override {
        *o = 0;
        return AAX_SUCCESS;
    }
    // The parameter objects are the module framework's own, kept in step with the fake's values.
    AAX_Result GetParameter(AAX_CParamID id, AAX_IParameter** p) override {
        *p = nullptr;
        const int32_t index = Index(id);
        if (index < 0) return AAX_ERROR_INVALID_PARAMETER_ID;
        objects_[index]->SetNormalizedValue(values_[index]);
        *p = objects_[index].get();
        return AAX_SUCCESS;
    }
    AAX_Result GetParameterIndex(AAX_CParamID id, int32_t* index) const override {
        *index = Index(id);
        return *index < 0 ? AAX_ERROR_INVALID_PARAMETER_ID : AAX_SUCCESS;
    }
    AAX_Result GetParameterIDFromIndex(int32_t index, AAX_IString* id) const override {
        if (index < 0 || index > 1) return AAX_ERROR_INVALID_PARAMETER_ID;
        id->Set(index == 0 ? "" : "gain");
        return AAX_SUCCESS;
    }
    AAX_Result GetParameterValueInfo(AAX_CParamID, int32_t, int32_t* v) const override {
        *v = 0;
        return AAX_ERROR_UNIMPLEMENTED;
    }
    AAX_Result GetParameterValueFromString(AAX_CParamID id, double* value, const AAX_IString& text) const override {
        if (Index(id) < 0) return AAX_ERROR_INVALID_PARAMETER_ID;
        if (Index(id) == 0) {
            *value = std::strcmp(text.Get(), "on") == 0 ? 1.0 : 0.0;
            return AAX_SUCCESS;
        }
        *value = std::atof(text.Get());
        return AAX_SUCCESS;
    }
    AAX_Result GetParameterStringFromValue(AAX_CParamID id, double value, AAX_IString* text, int32_t) const override {
        if (Index(id) < 0) return AAX_ERROR_INVALID_PARAMETER_ID;
        if (Index(id) == 0) {
            text->Set(value > 0 ? "on" : "off");
            return AAX_SUCCESS;
        }
        text->Set(std::to_string(value).c_str());
        return AAX_SUCCESS;
    }
    AAX_Result GetParameterValueString(AAX_CParamID id, AAX_IString* text, int32_t max) const override {
        return GetParameterStringFromValue(id, values_[std::max(Index(id), 0)], text, max);
    }
    AAX_Result GetParameterNormalizedValue(AAX_CParamID id, double* value) const override {
        if (Index(id) < 0) return AAX_ERROR_INVALID_PARAMETER_ID;
        *value = values_[Index(id)];
        return AAX_SUCCESS;
    }
    AAX_Result SetParameterNormalizedValue(AAX_CParamID id, double value) override {
        if (Index(id) < 0) return AAX_ERROR_INVALID_PARAMETER_ID;
        automation_->PostTouchRequest(id);
        automation_->PostSetValueRequest(id, value);
        automation_->PostReleaseRequest(id);
        return AAX_SUCCESS;
    }
    AAX_Result SetParameterNormalizedRelative(AAX_CParamID, double) override { return AAX_ERROR_UNIMPLEMENTED; }
    AAX_Result TouchParameter(AAX_CParamID) override { return AAX_SUCCESS; }
    AAX_Result ReleaseParameter(AAX_CParamID) override { return AAX_SUCCESS; }
    AAX_Result UpdateParameterTouch(AAX_CParamID, bool) override { return AAX_SUCCESS; }
    AAX_Result UpdateParameterNormalizedValue(AAX_CParamID id, double value, AAX_EUpdateSource) override {
        const int32_t index = Index(id);
        if (index < 0) return AAX_ERROR_INVALID_PARAMETER_ID;
        values_[index] = value;
        if (index == 1) gObserved.lastGainUpdate = static_cast<float>(value);
        dirty_ = true;
        if (automation_ != nullptr) automation_->PostCurrentValue(id, value);
        return AAX_SUCCESS;
    }
    AAX_Result UpdateParameterNormalizedRelative(AAX_CParamID, double) override { return AAX_ERROR_UNIMPLEMENTED; }
    AAX_Result GenerateCoefficients() override {
        if (!dirty_ || controller_ == nullptr) return AAX_SUCCESS;
        dirty_ = false;
        const float gain = values_[0] > 0 ? 1.0f : static_cast<float>(values_[1] * 2.0);
        return controller_->PostPacket(kFieldGain, &gain, sizeof gain);
    }
    AAX_Result ResetFieldData(AAX_CFieldIndex, void*, uint32_t) const override { return AAX_SUCCESS; }
    AAX_Result GetNumberOfChunks(int32_t* n) const override {
        *n = 1;
        return AAX_SUCCESS;
    }
    AAX_Result GetChunkIDFromIndex(int32_t index, AAX_CTypeID* id) const override {
        if (index != 0) return AAX_ERROR_INVALID_CHUNK_INDEX;
        *id = AAX_FourCC('f', 'a', 'k', 'e');
        return AAX_SUCCESS;
    }
    AAX_Result GetChunkSize(AAX_CTypeID id, uint32_t* size) const override {
        if (id != AAX_FourCC('f', 'a', 'k', 'e')) return AAX_ERROR_INVALID_CHUNK_ID;
        *size = sizeof(double);
        return AAX_SUCCESS;
    }
    AAX_Result GetChunk(AAX_CTypeID id, AAX_SPlugInChunk* chunk) const override {
        if (id != AAX_FourCC('f', 'a', 'k', 'e')) return AAX_ERROR_INVALID_CHUNK_ID;
        chunk->fSize = sizeof(double);
        std::memcpy(chunk->fData, &values_[1], sizeof(double));
        if (gBehaviour.overrunChunk) std::memset(chunk->fData + sizeof(double), 0x5A, 16);
        return AAX_SUCCESS;
    }
    AAX_Result SetChunk(AAX_CTypeID id, const AAX_SPlugInChunk* chunk) override {
        if (id != AAX_FourCC('f', 'a', 'k', 'e') || chunk->fSize != sizeof(double)) return AAX_ERROR_INVALID_CHUNK_ID;
        std::memcpy(&values_[1], chunk->fData, sizeof(double));
        dirty_ = true;
        return AAX_SUCCESS;
    }
    AAX_Result CompareActiveChunk(const AAX_SPlugInChunk* chunk, bool* equal) const override {
        *equal = chunk->fSize == sizeof(double) && std::memcmp(chunk->fData, &values_[1], sizeof(double)) == 0;
        return AAX_SUCCESS;
    }
    AAX_Result GetNumberOfChanges(int32_t* n) const override {
        *n = 0;
        return AAX_SUCCESS;
    }
    AAX_Result TimerWakeup() override { return AAX_SUCCESS; }
    AAX_Result GetCurveData(AAX_CTypeID, const float*, uint32_t, float*) const override { return AAX_ERROR_UNIMPLEMENTED; }
    AAX_Result GetCustomData(AAX_CTypeID, uint32_t, void*, uint32_t* written) const override {
        *written = 0;
        return AAX_SUCCESS;
    }
    AAX_Result SetCustomData(AAX_CTypeID, uint32_t, const void*) override { return AAX_SUCCESS; }
    AAX_Result DoMIDITransfers() override { return AAX_SUCCESS; }
    AAX_Result RenderAudio_Hybrid(void*) override { return AAX_ERROR_UNIMPLEMENTED; }
    AAX_Result UpdateMIDINodes(AAX_CFieldIndex, AAX_CMidiPacket&) override { return AAX_SUCCESS; }
    AAX_Result UpdateControlMIDINodes(AAX_CTypeID, AAX_CMidiPacket&) override { return AAX_SUCCESS; }

private:
    static int32_t Index(AAX_CParamID id) {
        if (id == nullptr) return -1;
        if (id[0] == '\0') return 0;
        return std::strcmp(id, "gain") == 0 ? 1 : -1;
    }
    AAX_IACFController* controller_ = nullptr;
    AAX_IACFAutomationDelegate* automation_ = nullptr;
    double values_[2] = {0.0, 0.5};
    AAX_OwnedParameter objects_[2] = {
        AAX_OwnedParameter(new AAX_CParameter<bool>("", AAX_CString("Bypass"), false, AAX_CBinaryTaperDelegate<bool>(),
                                                    AAX_CBinaryDisplayDelegate<bool>("off", "on"), true)),
        AAX_OwnedParameter(new AAX_CParameter<float>("gain", AAX_CString("Gain"), 0.0f,
                                                     AAX_CLinearTaperDelegate<float, 0>(0.0f, 1.0f),
                                                     AAX_CNumberDisplayDelegate<float, 2, 0>(), true))};
    bool dirty_ = false;
};

class FakeGui final : public AAX_IACFEffectGUI, public Counted {
public:
    ACFRESULT QueryInterface(const acfIID& iid, void** out) override {
        if (out == nullptr) return ACF_E_NOINTERFACE;
        *out = nullptr;
        if (iid == IID_IACFUnknown || iid == IID_IAAXEffectGUIV1) {
            *out = static_cast<AAX_IACFEffectGUI*>(this);
            AddRef();
            return ACF_OK;
        }
        return ACF_E_NOINTERFACE;
    }
    acfUInt32 AddRef() override { return static_cast<acfUInt32>(++refs_); }
    acfUInt32 Release() override {
        const int32_t left = --refs_;
        if (left == 0) delete this;
        return static_cast<acfUInt32>(left);
    }
    AAX_Result Initialize(IACFUnknown* host) override {
        model_ = Query<AAX_IACFEffectParameters>(host, IID_IAAXEffectParametersV1);
        gObserved.guiGotDataModel = model_ != nullptr ? 1 : 0;
        return AAX_SUCCESS;
    }
    AAX_Result Uninitialize() override {
        if (model_ != nullptr) model_->Release();
        model_ = nullptr;
        return AAX_SUCCESS;
    }
    AAX_Result NotificationReceived(AAX_CTypeID, const void*, uint32_t) override { return AAX_SUCCESS; }
    AAX_Result SetViewContainer(IACFUnknown* container) override {
        if (view_ != nullptr) view_->Release();
        view_ = Query<AAX_IACFViewContainer>(container, IID_IAAXViewContainerV1);
        gObserved.viewType = view_ != nullptr ? view_->GetType() : -1;
        gObserved.viewPointer = view_ != nullptr ? view_->GetPtr() : nullptr;
        return AAX_SUCCESS;
    }
    AAX_Result GetViewSize(AAX_Point* size) const override {
        size->horz = 320;
        size->vert = 200;
        return AAX_SUCCESS;
    }
    AAX_Result Draw(AAX_Rect*) override { return AAX_SUCCESS; }
    AAX_Result TimerWakeup() override {
        ++gObserved.idleCalls;
        return AAX_SUCCESS;
    }
    AAX_Result ParameterUpdated(AAX_CParamID) override { return AAX_SUCCESS; }
    AAX_Result GetCustomLabel(AAX_EPlugInStrings, AAX_IString*) const override { return AAX_ERROR_NULL_OBJECT; }
    AAX_Result SetControlHighlightInfo(AAX_CParamID, bool, int32_t) override { return AAX_SUCCESS; }

private:
    AAX_IACFEffectParameters* model_ = nullptr;
    AAX_IACFViewContainer* view_ = nullptr;
};

IACFUnknown* CreateDataModel() { return new FakeDataModel(); }
IACFUnknown* CreateGui() { return new FakeGui(); }

void Describe(AAX_IACFComponentDescriptor* component, AAX_IACFPropertyMap* properties, int32_t stem,
              AAX_CProcessProc proc) {
    component->AddAudioIn(kFieldIn);
    component->AddAudioBufferLength(kFieldLength);
    component->AddAudioOut(kFieldOut);
    component->AddDataInPort(kFieldGain, 4, 1);
    component->AddDataInPort(kFieldBlob, 8, 1);
    component->AddMIDINode(kFieldTransport, AAX_eMIDINodeType_Transport, "transport", 0xFFFF);
    component->AddMIDINode(kFieldMidiIn, AAX_eMIDINodeType_LocalInput, "Fake In", 0x0001);
    properties->AddProperty(AAX_eProperty_ManufacturerID, static_cast<AAX_CPropertyValue>(AAX_FourCC('F', 'a', 'k', 'e')));
    properties->AddProperty(AAX_eProperty_ProductID, static_cast<AAX_CPropertyValue>(AAX_FourCC('F', 'k', 'P', 'r')));
    properties->AddProperty(AAX_eProperty_PlugInID_Native,
                            static_cast<AAX_CPropertyValue>(stem == 1 ? AAX_FourCC('F', 'k', 'M', 'n') : AAX_FourCC('F', 'k', 'S', 't')));
    properties->AddProperty(AAX_eProperty_InputStemFormat, stem);
    properties->AddProperty(AAX_eProperty_OutputStemFormat, stem);
    component->AddProcessProc_Native(proc, properties, nullptr, nullptr, nullptr);
}

ACFRESULT RegisterPlugin(IACFUnknown* host, IACFPluginDefinition** out) {
    auto* factory = Query<IACFComponentFactory>(host, IID_IACFComponentFactory);
    if (factory == nullptr) return AAX_ERROR_NULL_OBJECT;
    auto* collection = Create<AAX_IACFCollection>(factory, AAXCompID_AAXCollection, IID_IAAXCollectionV1);
    ACFRESULT result = AAX_SUCCESS;
    if (!gBehaviour.registerNothing) {
        auto* effect = Create<AAX_IACFEffectDescriptor>(factory, AAXCompID_EffectDescriptor, IID_IAAXEffectDescriptorV1);
        auto* component = Create<AAX_IACFComponentDescriptor>(factory, AAXCompID_ComponentDescriptor, IID_IAAXComponentDescriptorV1);
        effect->AddName("Fake Gain");
        effect->AddName("FkGn");
        effect->AddCategory(1);
        for (int32_t stem : {AAX_eStemFormat_Mono, AAX_eStemFormat_Stereo}) {
            auto* properties = Create<AAX_IACFPropertyMap>(factory, AAXCompID_PropertyMap, IID_IAAXPropertyMapV1);
            component->Clear();
            Describe(component, properties, stem, stem == AAX_eStemFormat_Mono ? ProcessProc : ProcessProcStereo);
            effect->AddComponent(component);
            properties->Release();
        }
        effect->AddProcPtr(reinterpret_cast<void*>(&CreateDataModel), kAAX_ProcPtrID_Create_EffectParameters);
        effect->AddProcPtr(reinterpret_cast<void*>(&CreateGui), kAAX_ProcPtrID_Create_EffectGUI);
        result = collection->AddEffect("org.example.fakegain", effect);
        component->Release();
        if (!gBehaviour.leakDescriptor) effect->Release();
    }
    collection->SetManufacturerName("Example");
    collection->AddPackageName("Fake Gain");
    collection->SetPackageVersion(3);
    *out = nullptr;
    if (result == AAX_SUCCESS && collection->QueryInterface(IID_IACFPluginDefinition, reinterpret_cast<void**>(out)) != ACF_OK) {
        result = AAX_ERROR_NULL_OBJECT;
    }
    collection->Release();
    factory->Release();
    return result;
}

ACFRESULT RegisterComponent(IACFUnknown*, const acfCLSID&, void** out) {
    *out = nullptr;
    return ACF_OK;
}
ACFRESULT GetClassFactory(IACFUnknown*, const acfCLSID&, const acfIID&, void** out) {
    *out = nullptr;
    return AAX_ERROR_UNIMPLEMENTED;
}
ACFRESULT CanUnloadNow(IACFUnknown*) { return gObserved.liveObjects.load(); }
ACFRESULT Startup(IACFUnknown*) { return ACF_OK; }
ACFRESULT Shutdown(IACFUnknown*) { return ACF_OK; }
ACFRESULT GetSDKVersion(acfUInt64* version) {
    *version = 0x0000020000000001ull;
    return ACF_OK;
}

}  // namespace

Behaviour& Settings() { return gBehaviour; }
Observed& Seen() { return gObserved; }

void Reset() {
    gBehaviour = Behaviour{};
    Observed& o = gObserved;
    o.processCalls = 0;
    o.midiPacketsSeen = 0;
    o.lastSampleLocation = 0;
    o.lastBars = o.lastBeats = 0;
    o.lastTicks = 0;
    o.lastTempo = 0.0;
    o.lastPlaying = false;
    o.lastMidiTimestamp = 0;
    o.lastMidiStatus = 0;
    o.lastFrames = 0;
    std::fill(o.lastRecord, o.lastRecord + 7, nullptr);
    o.guiGotDataModel = 0;
    o.viewType = -1;
    o.viewPointer = nullptr;
    o.idleCalls = 0;
    o.lastGainUpdate = -1.0f;
}

aaxhost::ModuleExports Exports() {
    aaxhost::ModuleExports exports;
    exports.registerPlugin = RegisterPlugin;
    exports.registerComponent = RegisterComponent;
    exports.getClassFactory = GetClassFactory;
    exports.canUnloadNow = CanUnloadNow;
    exports.startup = Startup;
    exports.shutdown = Shutdown;
    exports.getSDKVersion = GetSDKVersion;
    return exports;
}

}  // namespace fakemodule
