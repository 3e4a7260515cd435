// The effect's description as the host learns it at registration: four thin wrappers over the
// host's description components, and the functions that fill them for this one effect.
#pragma once

#include <memory>
#include <vector>

#include "interfaces/aax_description.h"
#include "interfaces/aax_host.h"

// The published text the host files the effect under.
constexpr const char* kAAXWrapper_EffectIdentifier = "com.brenlock.vantrelodelay";

// A wrapper holds one reference on the host's IACFUnknown for its whole life, and creates its own
// host component through the host's component factory. When that fails it holds no component and
// every forwarding operation answers AAX_ERROR_NULL_OBJECT (operations of a version-2 interface
// the host did not offer answer AAX_ERROR_UNIMPLEMENTED). Child wrappers it creates are owned by
// it and destroyed with it. All operations are [main].

class AAX_VPropertyMap : public AAX_IPropertyMap {
public:
    // [main]
    explicit AAX_VPropertyMap(IACFUnknown* host);
    ~AAX_VPropertyMap() override;
    AAX_VPropertyMap(const AAX_VPropertyMap&) = delete;
    AAX_VPropertyMap& operator=(const AAX_VPropertyMap&) = delete;

    // [main] False when there is no host component.
    AAX_CBoolean GetProperty(AAX_EProperty property, AAX_CPropertyValue* outValue) const override;
    AAX_Result AddProperty(AAX_EProperty property, AAX_CPropertyValue value) override;
    AAX_Result RemoveProperty(AAX_EProperty property) override;
    AAX_Result AddPointerProperty(AAX_EProperty property, const void* value) override;
    AAX_CBoolean GetPointerProperty(AAX_EProperty property, const void** outValue) const override;

    // [main] The host component, or null; still owned by this wrapper.
    IACFUnknown* GetIUnknown() const;
    bool IsValid() const { return mPropertyMap != nullptr; }

private:
    IACFUnknown* mHost = nullptr;
    AAX_IACFPropertyMap* mPropertyMap = nullptr;
    AAX_IACFPropertyMap_V2* mPropertyMapV2 = nullptr;
};

class AAX_VComponentDescriptor : public AAX_IComponentDescriptor {
public:
    // [main]
    explicit AAX_VComponentDescriptor(IACFUnknown* host);
    ~AAX_VComponentDescriptor() override;
    AAX_VComponentDescriptor(const AAX_VComponentDescriptor&) = delete;
    AAX_VComponentDescriptor& operator=(const AAX_VComponentDescriptor&) = delete;

    AAX_Result Clear() override;
    AAX_Result AddAudioIn(AAX_CFieldIndex field) override;
    AAX_Result AddAudioOut(AAX_CFieldIndex field) override;
    AAX_Result AddAudioBufferLength(AAX_CFieldIndex field) override;
    AAX_Result AddSampleRate(AAX_CFieldIndex field) override;
    AAX_Result AddClock(AAX_CFieldIndex field) override;
    AAX_Result AddSideChainIn(AAX_CFieldIndex field) override;
    AAX_Result AddDataInPort(AAX_CFieldIndex field, uint32_t packetSize, uint32_t portType) override;
    AAX_Result AddAuxOutputStem(AAX_CFieldIndex field, int32_t stemFormat, const char* name) override;
    AAX_Result AddPrivateData(AAX_CFieldIndex field, int32_t dataSize, uint32_t options) override;
    AAX_Result AddTemporaryData(AAX_CFieldIndex field, uint32_t dataElementSize) override;
    AAX_Result AddDmaInstance(AAX_CFieldIndex field, int32_t dmaMode) override;
    AAX_Result AddMeters(AAX_CFieldIndex field, const AAX_CTypeID* meterIDs, uint32_t meterCount) override;
    AAX_Result AddMIDINode(AAX_CFieldIndex field, int32_t nodeType, const char* nodeName,
                           uint32_t channelMask) override;
    AAX_Result AddReservedField(AAX_CFieldIndex field, uint32_t fieldType) override;
    // [main] A new map owned by this descriptor, or null when the host gives no map.
    AAX_IPropertyMap* NewPropertyMap() override;
    // [main] A new owned map holding every property from AAX_eProperty_MinProp to
    // AAX_eProperty_MaxProp that the source has; null when the host gives no map.
    AAX_IPropertyMap* DuplicatePropertyMap(AAX_IPropertyMap* source) override;
    AAX_Result AddProcessProc_Native(AAX_CProcessProc processProc, AAX_IPropertyMap* properties,
                                     AAX_CInstanceInitProc instanceInitProc,
                                     AAX_CBackgroundProc backgroundProc, AAX_CTypeID* outProcID) override;
    AAX_Result AddProcessProc_TI(const char* dllFileName, const char* processProcSymbol,
                                 AAX_IPropertyMap* properties, const char* instanceInitSymbol,
                                 const char* backgroundSymbol, AAX_CTypeID* outProcID) override;

    // [main] The host component, or null; still owned by this wrapper.
    IACFUnknown* GetIUnknown() const;
    bool IsValid() const { return mDescriptor != nullptr; }

private:
    IACFUnknown* mHost = nullptr;
    AAX_IACFComponentDescriptor* mDescriptor = nullptr;
    AAX_IACFComponentDescriptor_V2* mDescriptorV2 = nullptr;
    std::vector<std::unique_ptr<AAX_VPropertyMap>> mPropertyMaps;
};

class AAX_VEffectDescriptor : public AAX_IEffectDescriptor {
public:
    // [main]
    explicit AAX_VEffectDescriptor(IACFUnknown* host);
    ~AAX_VEffectDescriptor() override;
    AAX_VEffectDescriptor(const AAX_VEffectDescriptor&) = delete;
    AAX_VEffectDescriptor& operator=(const AAX_VEffectDescriptor&) = delete;

    // [main] A new component descriptor owned by this descriptor, or null when the host gives none.
    AAX_IComponentDescriptor* NewComponentDescriptor() override;
    AAX_Result AddComponent(AAX_IComponentDescriptor* componentDescriptor) override;
    AAX_Result AddName(const char* name) override;
    AAX_Result AddCategory(uint32_t category) override;
    AAX_Result AddCategoryBypassParameter(uint32_t category, AAX_CParamID parameterID) override;
    AAX_Result AddProcPtr(void* procPtr, AAX_CProcPtrID procID) override;
    // [main] A new map owned by this descriptor, or null when the host gives no map.
    AAX_IPropertyMap* NewPropertyMap() override;
    AAX_Result SetProperties(AAX_IPropertyMap* properties) override;
    AAX_Result AddResourceInfo(int32_t resourceType, const char* info) override;
    AAX_Result AddMeterDescription(AAX_CTypeID meterID, const char* meterName,
                                   AAX_IPropertyMap* properties) override;
    AAX_Result AddControlMIDINode(AAX_CTypeID nodeID, int32_t nodeType, const char* nodeName,
                                  uint32_t channelMask) override;

    // [main] The host component, or null; still owned by this wrapper.
    IACFUnknown* GetIUnknown() const;
    bool IsValid() const { return mDescriptor != nullptr; }

private:
    IACFUnknown* mHost = nullptr;
    AAX_IACFEffectDescriptor* mDescriptor = nullptr;
    AAX_IACFEffectDescriptor_V2* mDescriptorV2 = nullptr;
    std::vector<std::unique_ptr<AAX_VComponentDescriptor>> mComponents;
    std::vector<std::unique_ptr<AAX_VPropertyMap>> mPropertyMaps;
};

class AAX_VCollection : public AAX_ICollection {
public:
    // [main]
    explicit AAX_VCollection(IACFUnknown* host);
    ~AAX_VCollection() override;
    AAX_VCollection(const AAX_VCollection&) = delete;
    AAX_VCollection& operator=(const AAX_VCollection&) = delete;

    // [main] A new effect descriptor owned by this collection, or null when the host gives none.
    AAX_IEffectDescriptor* NewDescriptor() override;
    // [main] AAX_ERROR_NULL_OBJECT for a null descriptor.
    AAX_Result AddEffect(const char* effectID, AAX_IEffectDescriptor* effectDescriptor) override;
    AAX_Result SetManufacturerName(const char* name) override;
    AAX_Result AddPackageName(const char* name) override;
    AAX_Result SetPackageVersion(uint32_t version) override;
    // [main] A new map owned by this collection, or null when the host gives no map.
    AAX_IPropertyMap* NewPropertyMap() override;
    AAX_Result SetProperties(AAX_IPropertyMap* properties) override;

    // [main] The host component, or null; still owned by this wrapper.
    IACFUnknown* GetIUnknown() const;
    bool IsValid() const { return mCollection != nullptr; }

private:
    IACFUnknown* mHost = nullptr;
    AAX_IACFCollection* mCollection = nullptr;
    std::vector<std::unique_ptr<AAX_VEffectDescriptor>> mDescriptors;
    std::vector<std::unique_ptr<AAX_VPropertyMap>> mPropertyMaps;
};

// [main] Declares the algorithm context fields, MIDI nodes, properties and processing callback of
// one component. stemFormat is the input and output stem format; AAX_eStemFormat_Mono selects the
// mono plug-in identifiers, any other value the stereo ones.
void DescribeComponent(int32_t stemFormat, AAX_IComponentDescriptor& component);

// [main] Describes the effect: names, category, the mono and stereo components and the two
// factories. AAX_ERROR_NULL_OBJECT when the host gives no component descriptor, otherwise 0.
AAX_Result DescribeEffect(AAX_IEffectDescriptor& effect);

// [main] The registration entry point's work: describes the effect to the host and hands back the
// host's plug-in definition (with one reference) in *outDefinition. Returns 0 or the first
// failure; the manufacturer and package are declared even when the effect's description fails.
ACFRESULT AAXWrapper_RegisterPlugin(IACFUnknown* host, IACFPluginDefinition** outDefinition);
