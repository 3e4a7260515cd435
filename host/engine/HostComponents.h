// The host's side of registration: the component factory the module reaches through the host's
// IACFUnknown, and the description objects it creates (collection, effect descriptor, component
// descriptor, property map, host services). Each object records what the module declares, and
// can report every call made on it, in order, to an observer.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Description.h"
#include "HostObject.h"
#include "interfaces/aax_description.h"
#include "interfaces/aax_host.h"

namespace aaxhost {

// Common base of every host object the factory owns, so it can list and find them.
class FactoryOwned {
public:
    virtual ~FactoryOwned() = default;
    virtual const RefCount& Refs() const = 0;
    virtual const char* KindName() const = 0;
    // The short kind in call reports: "collection", "effect", "component", "map", ...
    virtual const char* TraceKind() const = 0;
    virtual IACFUnknown* Unknown() = 0;

    // The object's name in call reports: its short kind and creation number ("component1").
    const std::string& TraceName() const { return traceName_; }
    void SetTraceName(std::string name) { traceName_ = std::move(name); }

private:
    std::string traceName_;
};

class HostComponentFactory;

template <class Interface>
class FactoryObject : public HostObject<Interface>, public FactoryOwned {
public:
    explicit FactoryObject(HostComponentFactory& factory) : factory_(factory) {}
    const RefCount& Refs() const override { return this->References(); }
    IACFUnknown* Unknown() override { return static_cast<Interface*>(this); }

protected:
    // Reports "<name>.<operation>(<arguments>)" to the factory's observer.
    void Trace(const std::string& operation, const std::string& arguments) const;

    HostComponentFactory& factory_;
};

class HostPropertyMap final : public FactoryObject<AAX_IACFPropertyMap_V2> {
public:
    using FactoryObject::FactoryObject;
    const char* KindName() const override { return "property map"; }
    const char* TraceKind() const override { return "map"; }
    // [main]
    AAX_CBoolean GetProperty(AAX_EProperty property, AAX_CPropertyValue* outValue) const override;
    AAX_Result AddProperty(AAX_EProperty property, AAX_CPropertyValue value) override;
    AAX_Result RemoveProperty(AAX_EProperty property) override;
    AAX_Result AddPointerProperty(AAX_EProperty property, const void* value) override;
    AAX_CBoolean GetPointerProperty(AAX_EProperty property, const void** outValue) const override;

    const PropertyList& Properties() const { return properties_; }

protected:
    bool Answers(const acfIID& iid) const override;

private:
    PropertyList properties_;
};

class HostComponentDescriptor final : public FactoryObject<AAX_IACFComponentDescriptor_V2> {
public:
    using FactoryObject::FactoryObject;
    const char* KindName() const override { return "component descriptor"; }
    const char* TraceKind() const override { return "component"; }
    // [main]
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
    AAX_Result AddDmaInstance(AAX_CFieldIndex field, int32_t dmaMode) override;
    AAX_Result AddMeters(AAX_CFieldIndex field, const AAX_CTypeID* meterIDs, uint32_t meterCount) override;
    AAX_Result AddMIDINode(AAX_CFieldIndex field, int32_t nodeType, const char* nodeName,
                           uint32_t channelMask) override;
    AAX_Result AddReservedField(AAX_CFieldIndex field, uint32_t fieldType) override;
    AAX_Result AddProcessProc_Native(AAX_CProcessProc processProc, IACFUnknown* properties,
                                     AAX_CInstanceInitProc instanceInitProc, AAX_CBackgroundProc backgroundProc,
                                     AAX_CTypeID* outProcID) override;
    AAX_Result AddProcessProc_TI(const char* dllFileName, const char* processProcSymbol, IACFUnknown* properties,
                                 const char* instanceInitSymbol, const char* backgroundSymbol,
                                 AAX_CTypeID* outProcID) override;
    AAX_Result AddTemporaryData(AAX_CFieldIndex field, uint32_t dataElementSize) override;

    // [main] The component as declared so far, with each callback's properties as they stand now.
    ComponentDescription Snapshot() const;

protected:
    bool Answers(const acfIID& iid) const override;

private:
    AAX_Result AddField(FieldDeclaration field);

    ComponentDescription component_;
    std::vector<const HostPropertyMap*> procProperties_;  // parallel to component_.processProcs
};

class HostEffectDescriptor final : public FactoryObject<AAX_IACFEffectDescriptor_V2> {
public:
    using FactoryObject::FactoryObject;
    const char* KindName() const override { return "effect descriptor"; }
    const char* TraceKind() const override { return "effect"; }
    // [main]
    AAX_Result AddComponent(IACFUnknown* componentDescriptor) override;
    AAX_Result AddName(const char* name) override;
    AAX_Result AddCategory(uint32_t category) override;
    AAX_Result AddCategoryBypassParameter(uint32_t category, AAX_CParamID parameterID) override;
    AAX_Result AddProcPtr(void* procPtr, AAX_CProcPtrID procID) override;
    AAX_Result SetProperties(IACFUnknown* properties) override;
    AAX_Result AddResourceInfo(int32_t resourceType, const char* info) override;
    AAX_Result AddMeterDescription(AAX_CTypeID meterID, const char* meterName, IACFUnknown* properties) override;
    AAX_Result AddControlMIDINode(AAX_CTypeID nodeID, int32_t nodeType, const char* nodeName,
                                  uint32_t channelMask) override;

    EffectDescription Snapshot() const;

protected:
    bool Answers(const acfIID& iid) const override;

private:
    EffectDescription effect_;
    const HostPropertyMap* properties_ = nullptr;
};

class HostCollection;

// What the collection hands back as the plug-in definition.
class HostPluginDefinition final : public FactoryObject<IACFPluginDefinition> {
public:
    HostPluginDefinition(HostComponentFactory& factory, HostCollection& collection)
        : FactoryObject(factory), collection_(collection) {}
    const char* KindName() const override { return "plug-in definition"; }
    const char* TraceKind() const override { return "definition"; }
    HostCollection& Collection() const { return collection_; }

protected:
    bool Answers(const acfIID& iid) const override { return iid == IID_IACFPluginDefinition; }

private:
    HostCollection& collection_;
};

class HostCollection final : public FactoryObject<AAX_IACFCollection> {
public:
    explicit HostCollection(HostComponentFactory& factory);
    const char* KindName() const override { return "collection"; }
    const char* TraceKind() const override { return "collection"; }
    // [main] Also answers the plug-in definition identifier, with its definition object.
    ACFRESULT QueryInterface(const acfIID& iid, void** outInterface) override;
    AAX_Result AddEffect(const char* effectID, IACFUnknown* effectDescriptor) override;
    AAX_Result SetManufacturerName(const char* name) override;
    AAX_Result AddPackageName(const char* name) override;
    AAX_Result SetPackageVersion(uint32_t version) override;
    AAX_Result SetProperties(IACFUnknown* properties) override;

    CollectionDescription Snapshot() const;

protected:
    bool Answers(const acfIID& iid) const override { return iid == IID_IAAXCollectionV1; }

private:
    CollectionDescription collection_;
    const HostPropertyMap* properties_ = nullptr;
    HostPluginDefinition* definition_ = nullptr;  // owned by the factory
};

// Assertion reports and trace messages from the module.
class HostServices final : public FactoryObject<AAX_IACFHostServices> {
public:
    using FactoryObject::FactoryObject;
    const char* KindName() const override { return "host services"; }
    const char* TraceKind() const override { return "services"; }
    // [any]
    AAX_Result HandleAssertFailure(const char* file, int32_t line, const char* note) const override;
    AAX_Result Trace(int32_t priority, const char* message) const override;

protected:
    bool Answers(const acfIID& iid) const override { return iid == IID_IAAXHostServicesV1; }
};

// The host's IACFUnknown for module-wide calls (ACFStartup, ACFRegisterPlugin, ...). It owns
// every object it creates until it is destroyed.
class HostComponentFactory : public HostObject<IACFComponentFactory> {
public:
    // What this host offers; a host without some of them answers their queries with
    // ACF_E_NOINTERFACE.
    struct Offers {
        bool factory = true;
        bool collection = true;
        bool effectDescriptor = true;
        bool componentDescriptor = true;
        bool propertyMap = true;
        bool version2 = true;  // the version-2 effect, component and property-map interfaces
        bool pluginDefinition = true;
        bool hostServices = true;
    };

    HostComponentFactory();
    ~HostComponentFactory() override;

    Offers offers;
    // [main] Called with "<object>.<Operation>(<arguments>)" for every call made on a description
    // object: objects are named by short kind and creation order (collection1, effect1,
    // component1, map1, ...), texts are quoted, a property map argument is its name (null, or
    // foreign for an object that is not the host's), a function "proc" or null.
    std::function<void(const std::string&)> observer;
    void Observe(const std::string& call) const {
        if (observer) observer(call);
    }
    // [main] The collection's answer to AddEffect before it looks at the effect; success here.
    virtual AAX_Result AcceptEffect(const char* effectID) {
        (void)effectID;
        return AAX_SUCCESS;
    }

    // [main]
    ACFRESULT CreateComponent(const acfCLSID& clsid, IACFUnknown* outer, const acfIID& iid,
                              void** outInterface) override;

    // [main] The host object behind an interface the module passes back, or null when the
    // pointer is not one of ours (or not of the expected kind).
    template <class T>
    T* Find(IACFUnknown* unknown) const {
        auto it = byPointer_.find(static_cast<const void*>(unknown));
        return it == byPointer_.end() ? nullptr : dynamic_cast<T*>(it->second);
    }
    // [main] Takes ownership of an object created outside CreateComponent.
    template <class T>
    T* Adopt(std::unique_ptr<T> object) {
        T* raw = object.get();
        raw->SetTraceName(std::string(raw->TraceKind()) + std::to_string(++traceCounts_[raw->TraceKind()]));
        byPointer_[static_cast<const void*>(raw->Unknown())] = raw;
        objects_.push_back(std::move(object));
        return raw;
    }

    // [any]
    void AddProblem(const std::string& problem);
    std::vector<std::string> Problems() const;
    void AddMessage(const std::string& message) const;
    std::vector<std::string> Messages() const;

    // [main] Objects the module still holds a reference to, as "kind (count)" texts. Objects
    // the host itself holds (listed in keep) are left out.
    std::vector<std::string> HeldObjects(const std::vector<const FactoryOwned*>& keep = {}) const;
    int32_t ReferenceUnderflows() const;
    size_t CreatedCount(const char* kind) const;
    std::vector<const FactoryOwned*> ObjectsOfKind(const char* kind) const;

protected:
    bool Answers(const acfIID& iid) const override { return offers.factory && iid == IID_IACFComponentFactory; }

private:
    std::map<std::string, int32_t> traceCounts_;
    std::vector<std::unique_ptr<FactoryOwned>> objects_;
    std::map<const void*, FactoryOwned*> byPointer_;
    mutable std::mutex logMutex_;
    std::vector<std::string> problems_;
    mutable std::vector<std::string> messages_;
};

template <class Interface>
void FactoryObject<Interface>::Trace(const std::string& operation, const std::string& arguments) const {
    if (factory_.observer) factory_.Observe(TraceName() + "." + operation + "(" + arguments + ")");
}

}  // namespace aaxhost
