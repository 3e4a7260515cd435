// The description interfaces through which the module tells the host about its effect:
// AAX_I* as the module uses them (implemented by the AAX_V* wrappers), AAX_IACF* as the
// host provides them.
#pragma once

#include <cstdint>

#include "acf.h"
#include "aax_host.h"

// [audio] The processing callback: a batch of context-record pointers, [begin, end).
using AAX_CProcessProc = void (*)(void* const instancesBegin[], const void* instancesEnd);
using AAX_CInstanceInitProc = int32_t (*)(const void* instanceContext, const void* initData,
                                          int32_t action);
using AAX_CBackgroundProc = int32_t (*)();
// [main] A component factory: returns a new component with no reference taken, or null.
using AAX_CCreateObjectProc = IACFUnknown* (*)();

// Each procedure crosses as one plain function pointer.
static_assert(sizeof(AAX_CProcessProc) == 8 && sizeof(AAX_CInstanceInitProc) == 8 &&
              sizeof(AAX_CBackgroundProc) == 8 && sizeof(AAX_CCreateObjectProc) == 8);

using AAX_CProcPtrID = int32_t;
constexpr AAX_CProcPtrID kAAX_ProcPtrID_Create_EffectParameters = 0;
constexpr AAX_CProcPtrID kAAX_ProcPtrID_Create_EffectGUI = 1;

using AAX_EProperty = int32_t;
constexpr AAX_EProperty AAX_eProperty_MinProp = 10;
constexpr AAX_EProperty AAX_eProperty_ManufacturerID = 11;
constexpr AAX_EProperty AAX_eProperty_ProductID = 12;
constexpr AAX_EProperty AAX_eProperty_PlugInID_Native = 13;
constexpr AAX_EProperty AAX_eProperty_PlugInID_AudioSuite = 14;
constexpr AAX_EProperty AAX_eProperty_InputStemFormat = 51;
constexpr AAX_EProperty AAX_eProperty_OutputStemFormat = 52;
constexpr AAX_EProperty AAX_eProperty_CanBypass = 60;
constexpr AAX_EProperty AAX_eProperty_MaxProp = 307;

constexpr uint32_t AAX_ePlugInCategory_Delay = 16;
constexpr uint32_t AAX_eDataInPortType_Buffered = 1;

using AAX_CBoolean = uint8_t;
static_assert(sizeof(AAX_CBoolean) == 1);

// ---------------------------------------------------------------------------------------------
// Host side (component interfaces)

class AAX_IACFPropertyMap : public IACFUnknown {
public:
    virtual AAX_CBoolean GetProperty(AAX_EProperty property, AAX_CPropertyValue* outValue) const = 0;
    virtual AAX_Result AddProperty(AAX_EProperty property, AAX_CPropertyValue value) = 0;
    virtual AAX_Result RemoveProperty(AAX_EProperty property) = 0;
};

class AAX_IACFPropertyMap_V2 : public AAX_IACFPropertyMap {
public:
    virtual AAX_Result AddPointerProperty(AAX_EProperty property, const void* value) = 0;
    virtual AAX_CBoolean GetPointerProperty(AAX_EProperty property, const void** outValue) const = 0;
};

class AAX_IACFComponentDescriptor : public IACFUnknown {
public:
    virtual AAX_Result Clear() = 0;
    virtual AAX_Result AddAudioIn(AAX_CFieldIndex field) = 0;
    virtual AAX_Result AddAudioOut(AAX_CFieldIndex field) = 0;
    virtual AAX_Result AddAudioBufferLength(AAX_CFieldIndex field) = 0;
    virtual AAX_Result AddSampleRate(AAX_CFieldIndex field) = 0;
    virtual AAX_Result AddClock(AAX_CFieldIndex field) = 0;
    virtual AAX_Result AddSideChainIn(AAX_CFieldIndex field) = 0;
    virtual AAX_Result AddDataInPort(AAX_CFieldIndex field, uint32_t packetSize, uint32_t portType) = 0;
    virtual AAX_Result AddAuxOutputStem(AAX_CFieldIndex field, int32_t stemFormat, const char* name) = 0;
    virtual AAX_Result AddPrivateData(AAX_CFieldIndex field, int32_t dataSize, uint32_t options) = 0;
    virtual AAX_Result AddDmaInstance(AAX_CFieldIndex field, int32_t dmaMode) = 0;
    virtual AAX_Result AddMeters(AAX_CFieldIndex field, const AAX_CTypeID* meterIDs, uint32_t meterCount) = 0;
    virtual AAX_Result AddMIDINode(AAX_CFieldIndex field, int32_t nodeType, const char* nodeName,
                                   uint32_t channelMask) = 0;
    virtual AAX_Result AddReservedField(AAX_CFieldIndex field, uint32_t fieldType) = 0;
    virtual AAX_Result AddProcessProc_Native(AAX_CProcessProc processProc, IACFUnknown* properties,
                                             AAX_CInstanceInitProc instanceInitProc,
                                             AAX_CBackgroundProc backgroundProc,
                                             AAX_CTypeID* outProcID) = 0;
    virtual AAX_Result AddProcessProc_TI(const char* dllFileName, const char* processProcSymbol,
                                         IACFUnknown* properties, const char* instanceInitSymbol,
                                         const char* backgroundSymbol, AAX_CTypeID* outProcID) = 0;
};

class AAX_IACFComponentDescriptor_V2 : public AAX_IACFComponentDescriptor {
public:
    virtual AAX_Result AddTemporaryData(AAX_CFieldIndex field, uint32_t dataElementSize) = 0;
};

class AAX_IACFEffectDescriptor : public IACFUnknown {
public:
    virtual AAX_Result AddComponent(IACFUnknown* componentDescriptor) = 0;
    virtual AAX_Result AddName(const char* name) = 0;
    virtual AAX_Result AddCategory(uint32_t category) = 0;
    virtual AAX_Result AddCategoryBypassParameter(uint32_t category, AAX_CParamID parameterID) = 0;
    virtual AAX_Result AddProcPtr(void* procPtr, AAX_CProcPtrID procID) = 0;
    virtual AAX_Result SetProperties(IACFUnknown* properties) = 0;
    virtual AAX_Result AddResourceInfo(int32_t resourceType, const char* info) = 0;
    virtual AAX_Result AddMeterDescription(AAX_CTypeID meterID, const char* meterName,
                                           IACFUnknown* properties) = 0;
};

class AAX_IACFEffectDescriptor_V2 : public AAX_IACFEffectDescriptor {
public:
    virtual AAX_Result AddControlMIDINode(AAX_CTypeID nodeID, int32_t nodeType, const char* nodeName,
                                          uint32_t channelMask) = 0;
};

class AAX_IACFCollection : public IACFUnknown {
public:
    virtual AAX_Result AddEffect(const char* effectID, IACFUnknown* effectDescriptor) = 0;
    virtual AAX_Result SetManufacturerName(const char* name) = 0;
    virtual AAX_Result AddPackageName(const char* name) = 0;
    virtual AAX_Result SetPackageVersion(uint32_t version) = 0;
    virtual AAX_Result SetProperties(IACFUnknown* properties) = 0;
};

// ---------------------------------------------------------------------------------------------
// Module side. Slot 0 of each is the destructor.

class AAX_IPropertyMap {
public:
    virtual ~AAX_IPropertyMap() {}
    virtual AAX_CBoolean GetProperty(AAX_EProperty property, AAX_CPropertyValue* outValue) const = 0;
    virtual AAX_Result AddProperty(AAX_EProperty property, AAX_CPropertyValue value) = 0;
    virtual AAX_Result RemoveProperty(AAX_EProperty property) = 0;
    virtual AAX_Result AddPointerProperty(AAX_EProperty property, const void* value) = 0;
    virtual AAX_CBoolean GetPointerProperty(AAX_EProperty property, const void** outValue) const = 0;
};

class AAX_IComponentDescriptor {
public:
    virtual ~AAX_IComponentDescriptor() {}
    virtual AAX_Result Clear() = 0;
    virtual AAX_Result AddAudioIn(AAX_CFieldIndex field) = 0;
    virtual AAX_Result AddAudioOut(AAX_CFieldIndex field) = 0;
    virtual AAX_Result AddAudioBufferLength(AAX_CFieldIndex field) = 0;
    virtual AAX_Result AddSampleRate(AAX_CFieldIndex field) = 0;
    virtual AAX_Result AddClock(AAX_CFieldIndex field) = 0;
    virtual AAX_Result AddSideChainIn(AAX_CFieldIndex field) = 0;
    virtual AAX_Result AddDataInPort(AAX_CFieldIndex field, uint32_t packetSize, uint32_t portType) = 0;
    virtual AAX_Result AddAuxOutputStem(AAX_CFieldIndex field, int32_t stemFormat, const char* name) = 0;
    virtual AAX_Result AddPrivateData(AAX_CFieldIndex field, int32_t dataSize, uint32_t options) = 0;
    virtual AAX_Result AddTemporaryData(AAX_CFieldIndex field, uint32_t dataElementSize) = 0;
    virtual AAX_Result AddDmaInstance(AAX_CFieldIndex field, int32_t dmaMode) = 0;
    virtual AAX_Result AddMeters(AAX_CFieldIndex field, const AAX_CTypeID* meterIDs, uint32_t meterCount) = 0;
    virtual AAX_Result AddMIDINode(AAX_CFieldIndex field, int32_t nodeType, const char* nodeName,
                                   uint32_t channelMask) = 0;
    virtual AAX_Result AddReservedField(AAX_CFieldIndex field, uint32_t fieldType) = 0;
    virtual AAX_IPropertyMap* NewPropertyMap() = 0;
    virtual AAX_IPropertyMap* DuplicatePropertyMap(AAX_IPropertyMap* source) = 0;
    virtual AAX_Result AddProcessProc_Native(AAX_CProcessProc processProc, AAX_IPropertyMap* properties,
                                             AAX_CInstanceInitProc instanceInitProc,
                                             AAX_CBackgroundProc backgroundProc,
                                             AAX_CTypeID* outProcID) = 0;
    virtual AAX_Result AddProcessProc_TI(const char* dllFileName, const char* processProcSymbol,
                                         AAX_IPropertyMap* properties, const char* instanceInitSymbol,
                                         const char* backgroundSymbol, AAX_CTypeID* outProcID) = 0;
};

class AAX_IEffectDescriptor {
public:
    virtual ~AAX_IEffectDescriptor() {}
    virtual AAX_IComponentDescriptor* NewComponentDescriptor() = 0;
    virtual AAX_Result AddComponent(AAX_IComponentDescriptor* componentDescriptor) = 0;
    virtual AAX_Result AddName(const char* name) = 0;
    virtual AAX_Result AddCategory(uint32_t category) = 0;
    virtual AAX_Result AddCategoryBypassParameter(uint32_t category, AAX_CParamID parameterID) = 0;
    virtual AAX_Result AddProcPtr(void* procPtr, AAX_CProcPtrID procID) = 0;
    virtual AAX_IPropertyMap* NewPropertyMap() = 0;
    virtual AAX_Result SetProperties(AAX_IPropertyMap* properties) = 0;
    virtual AAX_Result AddResourceInfo(int32_t resourceType, const char* info) = 0;
    virtual AAX_Result AddMeterDescription(AAX_CTypeID meterID, const char* meterName,
                                           AAX_IPropertyMap* properties) = 0;
    virtual AAX_Result AddControlMIDINode(AAX_CTypeID nodeID, int32_t nodeType, const char* nodeName,
                                          uint32_t channelMask) = 0;
};

class AAX_ICollection {
public:
    virtual ~AAX_ICollection() {}
    virtual AAX_IEffectDescriptor* NewDescriptor() = 0;
    virtual AAX_Result AddEffect(const char* effectID, AAX_IEffectDescriptor* effectDescriptor) = 0;
    virtual AAX_Result SetManufacturerName(const char* name) = 0;
    virtual AAX_Result AddPackageName(const char* name) = 0;
    virtual AAX_Result SetPackageVersion(uint32_t version) = 0;
    virtual AAX_IPropertyMap* NewPropertyMap() = 0;
    virtual AAX_Result SetProperties(AAX_IPropertyMap* properties) = 0;
};
