#include "description/AAXWrapper_Description.h"

#include "interfaces/aax_ids.h"
#include "render/AlgorithmContext.h"
#include "render/ProcessCallback.h"
#include "wrapper/AAXWrapper_CEffectGUI.h"
#include "wrapper/AAXWrapper_Parameters.h"

namespace {

// Creates one host component through the host's component factory, or gives null. The factory
// is released again at once; the component comes back with one reference for the caller.
template <class Interface>
Interface* CreateHostComponent(IACFUnknown* host, const acfCLSID& componentClass, const acfIID& iid) {
    if (host == nullptr) return nullptr;
    IACFComponentFactory* factory = nullptr;
    if (host->QueryInterface(IID_IACFComponentFactory, reinterpret_cast<void**>(&factory)) != ACF_OK ||
        factory == nullptr) {
        return nullptr;
    }
    void* component = nullptr;
    const ACFRESULT result = factory->CreateComponent(componentClass, nullptr, iid, &component);
    factory->Release();
    if (result != ACF_OK) return nullptr;
    return static_cast<Interface*>(component);
}

// A further interface of a component the wrapper already holds, or null.
template <class Interface>
Interface* QueryOptionalInterface(IACFUnknown* component, const acfIID& iid) {
    if (component == nullptr) return nullptr;
    void* result = nullptr;
    if (component->QueryInterface(iid, &result) != ACF_OK) return nullptr;
    return static_cast<Interface*>(result);
}

template <class Interface>
void ReleaseInterface(Interface*& held) {
    if (held != nullptr) held->Release();
    held = nullptr;
}

void HoldHost(IACFUnknown* host) {
    if (host != nullptr) host->AddRef();
}

// Creates a child wrapper and keeps it in the owner's list; a child whose host component could
// not be created is dropped and null is returned, so callers see that the host gave nothing.
template <class Wrapper>
Wrapper* AdoptChild(std::vector<std::unique_ptr<Wrapper>>& owned, IACFUnknown* host) {
    auto child = std::make_unique<Wrapper>(host);
    if (!child->IsValid()) return nullptr;
    owned.push_back(std::move(child));
    return owned.back().get();
}

// The host component behind one of our property maps; other implementations have none.
IACFUnknown* HostPropertyMap(AAX_IPropertyMap* properties) {
    const auto* ours = dynamic_cast<AAX_VPropertyMap*>(properties);
    return ours != nullptr ? ours->GetIUnknown() : nullptr;
}

// The factories the host calls through the registered proc pointers: exactly the component
// factory signature, so the host never calls a function through a foreign type.
IACFUnknown* CreateEffectParametersComponent() { return AAXWrapper_Parameters::Create(); }
IACFUnknown* CreateEffectGUIComponent() { return AAXWrapper_CEffectGUI::Create(); }

constexpr const char* kEffectNames[] = {"Vantrelo:Delay", "VantroDelay", "VntDel", "VtDel"};
constexpr const char* kPackageNames[] = {"Vantrelo:Delay", "VantroDelay", "VntDel"};
constexpr const char* kManufacturerName = "Brenlock";
constexpr uint32_t kPackageVersion = 1;

constexpr AAX_CPropertyValue FourCCValue(char a, char b, char c, char d) {
    return static_cast<AAX_CPropertyValue>(AAX_FourCC(a, b, c, d));
}
constexpr AAX_CPropertyValue kManufacturerID = FourCCValue('K', 'e', 'l', 'm');
constexpr AAX_CPropertyValue kProductID = FourCCValue('k', 'e', 'V', 't');
constexpr AAX_CPropertyValue kMonoNativeID = FourCCValue('m', 'V', 't', 'n');
constexpr AAX_CPropertyValue kMonoOfflineID = FourCCValue('m', 'V', 't', 'a');
constexpr AAX_CPropertyValue kStereoNativeID = FourCCValue('s', 'V', 't', 'n');
constexpr AAX_CPropertyValue kStereoOfflineID = FourCCValue('s', 'V', 't', 'a');

constexpr uint32_t kAllMidiChannels = 0xFFFF;

}  // namespace

// ---------------------------------------------------------------------------------------------
// AAX_VPropertyMap

AAX_VPropertyMap::AAX_VPropertyMap(IACFUnknown* host) : mHost(host) {
    HoldHost(mHost);
    mPropertyMap = CreateHostComponent<AAX_IACFPropertyMap>(mHost, AAXCompID_PropertyMap, IID_IAAXPropertyMapV1);
    mPropertyMapV2 = QueryOptionalInterface<AAX_IACFPropertyMap_V2>(mPropertyMap, IID_IAAXPropertyMapV2);
}

AAX_VPropertyMap::~AAX_VPropertyMap() {
    ReleaseInterface(mPropertyMapV2);
    ReleaseInterface(mPropertyMap);
    ReleaseInterface(mHost);
}

AAX_CBoolean AAX_VPropertyMap::GetProperty(AAX_EProperty property, AAX_CPropertyValue* outValue) const {
    if (mPropertyMap == nullptr) return 0;
    return mPropertyMap->GetProperty(property, outValue);
}

AAX_Result AAX_VPropertyMap::AddProperty(AAX_EProperty property, AAX_CPropertyValue value) {
    if (mPropertyMap == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mPropertyMap->AddProperty(property, value);
}

AAX_Result AAX_VPropertyMap::RemoveProperty(AAX_EProperty property) {
    if (mPropertyMap == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mPropertyMap->RemoveProperty(property);
}

AAX_Result AAX_VPropertyMap::AddPointerProperty(AAX_EProperty property, const void* value) {
    if (mPropertyMapV2 == nullptr) return AAX_ERROR_UNIMPLEMENTED;
    return mPropertyMapV2->AddPointerProperty(property, value);
}

AAX_CBoolean AAX_VPropertyMap::GetPointerProperty(AAX_EProperty property, const void** outValue) const {
    if (mPropertyMapV2 == nullptr) return 0;
    return mPropertyMapV2->GetPointerProperty(property, outValue);
}

IACFUnknown* AAX_VPropertyMap::GetIUnknown() const { return mPropertyMap; }

// ---------------------------------------------------------------------------------------------
// AAX_VComponentDescriptor

AAX_VComponentDescriptor::AAX_VComponentDescriptor(IACFUnknown* host) : mHost(host) {
    HoldHost(mHost);
    mDescriptor = CreateHostComponent<AAX_IACFComponentDescriptor>(mHost, AAXCompID_ComponentDescriptor,
                                                                   IID_IAAXComponentDescriptorV1);
    mDescriptorV2 = QueryOptionalInterface<AAX_IACFComponentDescriptor_V2>(mDescriptor,
                                                                          IID_IAAXComponentDescriptorV2);
}

AAX_VComponentDescriptor::~AAX_VComponentDescriptor() {
    mPropertyMaps.clear();
    ReleaseInterface(mDescriptorV2);
    ReleaseInterface(mDescriptor);
    ReleaseInterface(mHost);
}

AAX_Result AAX_VComponentDescriptor::Clear() {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->Clear();
}

AAX_Result AAX_VComponentDescriptor::AddAudioIn(AAX_CFieldIndex field) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddAudioIn(field);
}

AAX_Result AAX_VComponentDescriptor::AddAudioOut(AAX_CFieldIndex field) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddAudioOut(field);
}

AAX_Result AAX_VComponentDescriptor::AddAudioBufferLength(AAX_CFieldIndex field) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddAudioBufferLength(field);
}

AAX_Result AAX_VComponentDescriptor::AddSampleRate(AAX_CFieldIndex field) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddSampleRate(field);
}

AAX_Result AAX_VComponentDescriptor::AddClock(AAX_CFieldIndex field) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddClock(field);
}

AAX_Result AAX_VComponentDescriptor::AddSideChainIn(AAX_CFieldIndex field) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddSideChainIn(field);
}

AAX_Result AAX_VComponentDescriptor::AddDataInPort(AAX_CFieldIndex field, uint32_t packetSize, uint32_t portType) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddDataInPort(field, packetSize, portType);
}

AAX_Result AAX_VComponentDescriptor::AddAuxOutputStem(AAX_CFieldIndex field, int32_t stemFormat, const char* name) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddAuxOutputStem(field, stemFormat, name);
}

AAX_Result AAX_VComponentDescriptor::AddPrivateData(AAX_CFieldIndex field, int32_t dataSize, uint32_t options) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddPrivateData(field, dataSize, options);
}

AAX_Result AAX_VComponentDescriptor::AddTemporaryData(AAX_CFieldIndex field, uint32_t dataElementSize) {
    if (mDescriptorV2 == nullptr) return AAX_ERROR_UNIMPLEMENTED;
    return mDescriptorV2->AddTemporaryData(field, dataElementSize);
}

AAX_Result AAX_VComponentDescriptor::AddDmaInstance(AAX_CFieldIndex field, int32_t dmaMode) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddDmaInstance(field, dmaMode);
}

AAX_Result AAX_VComponentDescriptor::AddMeters(AAX_CFieldIndex field, const AAX_CTypeID* meterIDs,
                                               uint32_t meterCount) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddMeters(field, meterIDs, meterCount);
}

AAX_Result AAX_VComponentDescriptor::AddMIDINode(AAX_CFieldIndex field, int32_t nodeType, const char* nodeName,
                                                 uint32_t channelMask) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddMIDINode(field, nodeType, nodeName, channelMask);
}

AAX_Result AAX_VComponentDescriptor::AddReservedField(AAX_CFieldIndex field, uint32_t fieldType) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddReservedField(field, fieldType);
}

AAX_IPropertyMap* AAX_VComponentDescriptor::NewPropertyMap() { return AdoptChild(mPropertyMaps, mHost); }

AAX_IPropertyMap* AAX_VComponentDescriptor::DuplicatePropertyMap(AAX_IPropertyMap* source) {
    AAX_IPropertyMap* copy = NewPropertyMap();
    if (copy == nullptr || source == nullptr) return copy;
    for (AAX_EProperty property = AAX_eProperty_MinProp; property <= AAX_eProperty_MaxProp; ++property) {
        AAX_CPropertyValue value = 0;
        if (source->GetProperty(property, &value)) copy->AddProperty(property, value);
    }
    return copy;
}

AAX_Result AAX_VComponentDescriptor::AddProcessProc_Native(AAX_CProcessProc processProc,
                                                           AAX_IPropertyMap* properties,
                                                           AAX_CInstanceInitProc instanceInitProc,
                                                           AAX_CBackgroundProc backgroundProc,
                                                           AAX_CTypeID* outProcID) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddProcessProc_Native(processProc, HostPropertyMap(properties), instanceInitProc,
                                              backgroundProc, outProcID);
}

AAX_Result AAX_VComponentDescriptor::AddProcessProc_TI(const char* dllFileName, const char* processProcSymbol,
                                                       AAX_IPropertyMap* properties,
                                                       const char* instanceInitSymbol,
                                                       const char* backgroundSymbol, AAX_CTypeID* outProcID) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddProcessProc_TI(dllFileName, processProcSymbol, HostPropertyMap(properties),
                                          instanceInitSymbol, backgroundSymbol, outProcID);
}

IACFUnknown* AAX_VComponentDescriptor::GetIUnknown() const { return mDescriptor; }

// ---------------------------------------------------------------------------------------------
// AAX_VEffectDescriptor

AAX_VEffectDescriptor::AAX_VEffectDescriptor(IACFUnknown* host) : mHost(host) {
    HoldHost(mHost);
    mDescriptor = CreateHostComponent<AAX_IACFEffectDescriptor>(mHost, AAXCompID_EffectDescriptor,
                                                                IID_IAAXEffectDescriptorV1);
    mDescriptorV2 = QueryOptionalInterface<AAX_IACFEffectDescriptor_V2>(mDescriptor, IID_IAAXEffectDescriptorV2);
}

AAX_VEffectDescriptor::~AAX_VEffectDescriptor() {
    mComponents.clear();
    mPropertyMaps.clear();
    ReleaseInterface(mDescriptorV2);
    ReleaseInterface(mDescriptor);
    ReleaseInterface(mHost);
}

AAX_IComponentDescriptor* AAX_VEffectDescriptor::NewComponentDescriptor() { return AdoptChild(mComponents, mHost); }

AAX_Result AAX_VEffectDescriptor::AddComponent(AAX_IComponentDescriptor* componentDescriptor) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    const auto* ours = dynamic_cast<AAX_VComponentDescriptor*>(componentDescriptor);
    return mDescriptor->AddComponent(ours != nullptr ? ours->GetIUnknown() : nullptr);
}

AAX_Result AAX_VEffectDescriptor::AddName(const char* name) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddName(name);
}

AAX_Result AAX_VEffectDescriptor::AddCategory(uint32_t category) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddCategory(category);
}

AAX_Result AAX_VEffectDescriptor::AddCategoryBypassParameter(uint32_t category, AAX_CParamID parameterID) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddCategoryBypassParameter(category, parameterID);
}

AAX_Result AAX_VEffectDescriptor::AddProcPtr(void* procPtr, AAX_CProcPtrID procID) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddProcPtr(procPtr, procID);
}

AAX_IPropertyMap* AAX_VEffectDescriptor::NewPropertyMap() { return AdoptChild(mPropertyMaps, mHost); }

AAX_Result AAX_VEffectDescriptor::SetProperties(AAX_IPropertyMap* properties) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->SetProperties(HostPropertyMap(properties));
}

AAX_Result AAX_VEffectDescriptor::AddResourceInfo(int32_t resourceType, const char* info) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddResourceInfo(resourceType, info);
}

AAX_Result AAX_VEffectDescriptor::AddMeterDescription(AAX_CTypeID meterID, const char* meterName,
                                                      AAX_IPropertyMap* properties) {
    if (mDescriptor == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mDescriptor->AddMeterDescription(meterID, meterName, HostPropertyMap(properties));
}

AAX_Result AAX_VEffectDescriptor::AddControlMIDINode(AAX_CTypeID nodeID, int32_t nodeType, const char* nodeName,
                                                     uint32_t channelMask) {
    if (mDescriptorV2 == nullptr) return AAX_ERROR_UNIMPLEMENTED;
    return mDescriptorV2->AddControlMIDINode(nodeID, nodeType, nodeName, channelMask);
}

IACFUnknown* AAX_VEffectDescriptor::GetIUnknown() const { return mDescriptor; }

// ---------------------------------------------------------------------------------------------
// AAX_VCollection

AAX_VCollection::AAX_VCollection(IACFUnknown* host) : mHost(host) {
    HoldHost(mHost);
    mCollection = CreateHostComponent<AAX_IACFCollection>(mHost, AAXCompID_AAXCollection, IID_IAAXCollectionV1);
}

AAX_VCollection::~AAX_VCollection() {
    mDescriptors.clear();
    mPropertyMaps.clear();
    ReleaseInterface(mCollection);
    ReleaseInterface(mHost);
}

AAX_IEffectDescriptor* AAX_VCollection::NewDescriptor() { return AdoptChild(mDescriptors, mHost); }

AAX_Result AAX_VCollection::AddEffect(const char* effectID, AAX_IEffectDescriptor* effectDescriptor) {
    if (mCollection == nullptr) return AAX_ERROR_NULL_OBJECT;
    const auto* ours = dynamic_cast<AAX_VEffectDescriptor*>(effectDescriptor);
    if (ours == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mCollection->AddEffect(effectID, ours->GetIUnknown());
}

AAX_Result AAX_VCollection::SetManufacturerName(const char* name) {
    if (mCollection == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mCollection->SetManufacturerName(name);
}

AAX_Result AAX_VCollection::AddPackageName(const char* name) {
    if (mCollection == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mCollection->AddPackageName(name);
}

AAX_Result AAX_VCollection::SetPackageVersion(uint32_t version) {
    if (mCollection == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mCollection->SetPackageVersion(version);
}

AAX_IPropertyMap* AAX_VCollection::NewPropertyMap() { return AdoptChild(mPropertyMaps, mHost); }

AAX_Result AAX_VCollection::SetProperties(AAX_IPropertyMap* properties) {
    if (mCollection == nullptr) return AAX_ERROR_NULL_OBJECT;
    return mCollection->SetProperties(HostPropertyMap(properties));
}

IACFUnknown* AAX_VCollection::GetIUnknown() const { return mCollection; }

// ---------------------------------------------------------------------------------------------
// The effect

void DescribeComponent(int32_t stemFormat, AAX_IComponentDescriptor& component) {
    // Individual declaration results are not checked: the host reports an incomplete
    // description when it validates the effect.
    component.AddAudioIn(kField_AudioIn);
    component.AddAudioBufferLength(kField_BufferLength);
    component.AddAudioOut(kField_AudioOut);
    component.AddSideChainIn(kField_SideChainIn);
    component.AddDataInPort(kField_InputChannels, sizeof(int32_t), AAX_eDataInPortType_Buffered);
    component.AddDataInPort(kField_OutputChannels, sizeof(int32_t), AAX_eDataInPortType_Buffered);
    component.AddDataInPort(kField_MasterBypass, sizeof(int32_t), AAX_eDataInPortType_Buffered);
    component.AddDataInPort(kField_VstInterface, 8, AAX_eDataInPortType_Buffered);
    component.AddDataInPort(kField_Loaded, sizeof(int32_t), AAX_eDataInPortType_Buffered);
    component.AddMIDINode(kField_TransportNode, AAX_eMIDINodeType_Transport, "AAX_Hollowpitch_MIDITrnsprt",
                          kAllMidiChannels);
    component.AddMIDINode(kField_MidiInputNode, AAX_eMIDINodeType_LocalInput, "Vantrelo:Delay", kAllMidiChannels);

    AAX_IPropertyMap* properties = component.NewPropertyMap();
    if (properties == nullptr) return;
    const bool mono = stemFormat == AAX_eStemFormat_Mono;
    properties->AddProperty(AAX_eProperty_ManufacturerID, kManufacturerID);
    properties->AddProperty(AAX_eProperty_ProductID, kProductID);
    properties->AddProperty(AAX_eProperty_CanBypass, 1);
    properties->AddProperty(AAX_eProperty_InputStemFormat, stemFormat);
    properties->AddProperty(AAX_eProperty_OutputStemFormat, stemFormat);
    properties->AddProperty(AAX_eProperty_PlugInID_Native, mono ? kMonoNativeID : kStereoNativeID);
    properties->AddProperty(AAX_eProperty_PlugInID_AudioSuite, mono ? kMonoOfflineID : kStereoOfflineID);

    component.AddProcessProc_Native(&AAXWrapper_AlgorithmProcessFunction, properties, nullptr, nullptr, nullptr);
}

AAX_Result DescribeEffect(AAX_IEffectDescriptor& effect) {
    AAX_IComponentDescriptor* component = effect.NewComponentDescriptor();
    if (component == nullptr) return AAX_ERROR_NULL_OBJECT;

    for (const char* name : kEffectNames) effect.AddName(name);
    effect.AddCategory(AAX_ePlugInCategory_Delay);

    // One descriptor serves both components: the host copies what AddComponent hands it.
    component->Clear();
    DescribeComponent(AAX_eStemFormat_Mono, *component);
    effect.AddComponent(component);
    component->Clear();
    DescribeComponent(AAX_eStemFormat_Stereo, *component);
    effect.AddComponent(component);

    effect.AddProcPtr(reinterpret_cast<void*>(&CreateEffectParametersComponent),
                      kAAX_ProcPtrID_Create_EffectParameters);
    effect.AddResourceInfo(0, "");
    effect.AddProcPtr(reinterpret_cast<void*>(&CreateEffectGUIComponent), kAAX_ProcPtrID_Create_EffectGUI);
    return AAX_SUCCESS;
}

ACFRESULT AAXWrapper_RegisterPlugin(IACFUnknown* host, IACFPluginDefinition** outDefinition) {
    // The collection and every wrapper it created are gone when this returns, on every path.
    const auto collection = std::make_unique<AAX_VCollection>(host);

    ACFRESULT result = AAX_ERROR_NULL_OBJECT;
    if (AAX_IEffectDescriptor* descriptor = collection->NewDescriptor()) {
        result = DescribeEffect(*descriptor);
        if (result == AAX_SUCCESS) result = collection->AddEffect(kAAXWrapper_EffectIdentifier, descriptor);
    }

    collection->SetManufacturerName(kManufacturerName);
    for (const char* name : kPackageNames) collection->AddPackageName(name);
    collection->SetPackageVersion(kPackageVersion);

    if (result != AAX_SUCCESS) return result;
    if (outDefinition == nullptr) return AAX_ERROR_NULL_OBJECT;

    *outDefinition = nullptr;
    IACFUnknown* hostCollection = collection->GetIUnknown();
    if (hostCollection == nullptr ||
        hostCollection->QueryInterface(IID_IACFPluginDefinition, reinterpret_cast<void**>(outDefinition)) != ACF_OK) {
        *outDefinition = nullptr;
        result = AAX_ERROR_NULL_OBJECT;
    }
    return result;
}
