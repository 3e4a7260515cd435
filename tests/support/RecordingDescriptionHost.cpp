#include "support/RecordingDescriptionHost.h"

#include <initializer_list>
#include <sstream>

#include "interfaces/aax_ids.h"

namespace testsupport {

namespace {

std::string Quoted(const char* text) { return text == nullptr ? "null" : "\"" + std::string(text) + "\""; }

template <typename... Args>
std::string Arguments(const Args&... args) {
    std::ostringstream out;
    bool first = true;
    ((out << (first ? "" : ",") << args, first = false), ...);
    return out.str();
}

// Reference counting and interface lookup shared by every component of the host.
template <class Interface>
class HostComponent : public Interface {
public:
    HostComponent(RecordingDescriptionHost& host, const std::string& kind, std::initializer_list<acfIID> offered)
        : host_(host), name_(host.NameNew(kind)), offered_(offered) {
        host_.ComponentCreated();
    }
    virtual ~HostComponent() { host_.ComponentDestroyed(); }

    ACFRESULT QueryInterface(const acfIID& iid, void** outInterface) override {
        if (outInterface == nullptr) return ACF_E_NOINTERFACE;
        *outInterface = nullptr;
        if (void* found = Find(iid)) {
            *outInterface = found;
            this->AddRef();
            return ACF_OK;
        }
        return ACF_E_NOINTERFACE;
    }
    acfUInt32 AddRef() override { return ++references_; }
    acfUInt32 Release() override {
        const acfUInt32 left = --references_;
        if (left == 0) delete this;
        return left;
    }

    const std::string& Name() const { return name_; }

protected:
    virtual void* Find(const acfIID& iid) {
        if (iid == IID_IACFUnknown) return static_cast<Interface*>(this);
        for (const acfIID& offered : offered_) {
            if (iid == offered) return static_cast<Interface*>(this);
        }
        return nullptr;
    }
    void Log(const std::string& operation, const std::string& arguments) {
        host_.log.push_back(name_ + "." + operation + "(" + arguments + ")");
    }

    RecordingDescriptionHost& host_;

private:
    std::string name_;
    std::vector<acfIID> offered_;
    acfUInt32 references_ = 1;
};

class PropertyMapComponent final : public HostComponent<AAX_IACFPropertyMap_V2> {
public:
    explicit PropertyMapComponent(RecordingDescriptionHost& host)
        : HostComponent(host, "map", {IID_IAAXPropertyMapV1}), offersVersion2_(host.options.offerVersion2) {}

    AAX_CBoolean GetProperty(AAX_EProperty property, AAX_CPropertyValue* outValue) const override {
        const auto found = properties.find(property);
        if (found == properties.end()) return 0;
        if (outValue != nullptr) *outValue = found->second;
        return 1;
    }
    AAX_Result AddProperty(AAX_EProperty property, AAX_CPropertyValue value) override {
        Log("AddProperty", Arguments(property, value));
        properties[property] = value;
        return AAX_SUCCESS;
    }
    AAX_Result RemoveProperty(AAX_EProperty property) override {
        Log("RemoveProperty", Arguments(property));
        properties.erase(property);
        return AAX_SUCCESS;
    }
    AAX_Result AddPointerProperty(AAX_EProperty property, const void*) override {
        Log("AddPointerProperty", Arguments(property));
        return AAX_SUCCESS;
    }
    AAX_CBoolean GetPointerProperty(AAX_EProperty, const void**) const override { return 0; }

    std::map<AAX_EProperty, AAX_CPropertyValue> properties;

private:
    void* Find(const acfIID& iid) override {
        if (offersVersion2_ && iid == IID_IAAXPropertyMapV2) return static_cast<AAX_IACFPropertyMap_V2*>(this);
        return HostComponent::Find(iid);
    }
    bool offersVersion2_;
};

std::string MapName(IACFUnknown* properties) {
    if (properties == nullptr) return "null";
    const auto* map = dynamic_cast<PropertyMapComponent*>(properties);
    return map != nullptr ? map->Name() : "foreign";
}

class ComponentDescriptorComponent final : public HostComponent<AAX_IACFComponentDescriptor_V2> {
public:
    explicit ComponentDescriptorComponent(RecordingDescriptionHost& host)
        : HostComponent(host, "component", {IID_IAAXComponentDescriptorV1}), offersVersion2_(host.options.offerVersion2) {}

    AAX_Result Clear() override {
        Log("Clear", "");
        state = RecordedComponent();
        return AAX_SUCCESS;
    }
    AAX_Result AddAudioIn(AAX_CFieldIndex field) override { return Declare("AddAudioIn", Arguments(field)); }
    AAX_Result AddAudioOut(AAX_CFieldIndex field) override { return Declare("AddAudioOut", Arguments(field)); }
    AAX_Result AddAudioBufferLength(AAX_CFieldIndex field) override {
        return Declare("AddAudioBufferLength", Arguments(field));
    }
    AAX_Result AddSampleRate(AAX_CFieldIndex field) override { return Declare("AddSampleRate", Arguments(field)); }
    AAX_Result AddClock(AAX_CFieldIndex field) override { return Declare("AddClock", Arguments(field)); }
    AAX_Result AddSideChainIn(AAX_CFieldIndex field) override { return Declare("AddSideChainIn", Arguments(field)); }
    AAX_Result AddDataInPort(AAX_CFieldIndex field, uint32_t packetSize, uint32_t portType) override {
        return Declare("AddDataInPort", Arguments(field, packetSize, portType));
    }
    AAX_Result AddAuxOutputStem(AAX_CFieldIndex field, int32_t stemFormat, const char* name) override {
        return Declare("AddAuxOutputStem", Arguments(field, stemFormat, Quoted(name)));
    }
    AAX_Result AddPrivateData(AAX_CFieldIndex field, int32_t dataSize, uint32_t options) override {
        return Declare("AddPrivateData", Arguments(field, dataSize, options));
    }
    AAX_Result AddDmaInstance(AAX_CFieldIndex field, int32_t dmaMode) override {
        return Declare("AddDmaInstance", Arguments(field, dmaMode));
    }
    AAX_Result AddMeters(AAX_CFieldIndex field, const AAX_CTypeID*, uint32_t meterCount) override {
        return Declare("AddMeters", Arguments(field, meterCount));
    }
    AAX_Result AddMIDINode(AAX_CFieldIndex field, int32_t nodeType, const char* nodeName,
                           uint32_t channelMask) override {
        return Declare("AddMIDINode", Arguments(field, nodeType, Quoted(nodeName), channelMask));
    }
    AAX_Result AddReservedField(AAX_CFieldIndex field, uint32_t fieldType) override {
        return Declare("AddReservedField", Arguments(field, fieldType));
    }
    AAX_Result AddProcessProc_Native(AAX_CProcessProc processProc, IACFUnknown* properties,
                                     AAX_CInstanceInitProc instanceInitProc, AAX_CBackgroundProc backgroundProc,
                                     AAX_CTypeID* outProcID) override {
        Log("AddProcessProc_Native",
            Arguments(processProc != nullptr ? "proc" : "null", MapName(properties),
                      instanceInitProc != nullptr ? "proc" : "null", backgroundProc != nullptr ? "proc" : "null",
                      outProcID != nullptr ? "out" : "null"));
        RecordedProcessProc record;
        record.proc = processProc;
        if (const auto* map = dynamic_cast<PropertyMapComponent*>(properties)) {
            record.propertiesGiven = true;
            record.properties = map->properties;
        }
        record.instanceInitGiven = instanceInitProc != nullptr;
        record.backgroundGiven = backgroundProc != nullptr;
        record.procIdOutGiven = outProcID != nullptr;
        state.processProcs.push_back(record);
        return AAX_SUCCESS;
    }
    AAX_Result AddProcessProc_TI(const char* dllFileName, const char* processProcSymbol, IACFUnknown* properties,
                                 const char*, const char*, AAX_CTypeID*) override {
        Log("AddProcessProc_TI", Arguments(Quoted(dllFileName), Quoted(processProcSymbol), MapName(properties)));
        return AAX_SUCCESS;
    }
    AAX_Result AddTemporaryData(AAX_CFieldIndex field, uint32_t dataElementSize) override {
        return Declare("AddTemporaryData", Arguments(field, dataElementSize));
    }

    RecordedComponent state;

private:
    AAX_Result Declare(const std::string& operation, const std::string& arguments) {
        Log(operation, arguments);
        state.declarations.push_back(operation + "(" + arguments + ")");
        return AAX_SUCCESS;
    }
    void* Find(const acfIID& iid) override {
        if (offersVersion2_ && iid == IID_IAAXComponentDescriptorV2) {
            return static_cast<AAX_IACFComponentDescriptor_V2*>(this);
        }
        return HostComponent::Find(iid);
    }
    bool offersVersion2_;
};

class EffectDescriptorComponent final : public HostComponent<AAX_IACFEffectDescriptor_V2> {
public:
    explicit EffectDescriptorComponent(RecordingDescriptionHost& host)
        : HostComponent(host, "effect", {IID_IAAXEffectDescriptorV1}), offersVersion2_(host.options.offerVersion2) {}

    AAX_Result AddComponent(IACFUnknown* componentDescriptor) override {
        const auto* component = dynamic_cast<ComponentDescriptorComponent*>(componentDescriptor);
        Log("AddComponent", component != nullptr ? component->Name() : "null");
        if (component != nullptr) state.components.push_back(component->state);
        return AAX_SUCCESS;
    }
    AAX_Result AddName(const char* name) override {
        Log("AddName", Quoted(name));
        state.names.push_back(name != nullptr ? name : "");
        return AAX_SUCCESS;
    }
    AAX_Result AddCategory(uint32_t category) override {
        Log("AddCategory", Arguments(category));
        state.categories.push_back(category);
        return AAX_SUCCESS;
    }
    AAX_Result AddCategoryBypassParameter(uint32_t category, AAX_CParamID parameterID) override {
        Log("AddCategoryBypassParameter", Arguments(category, Quoted(parameterID)));
        return AAX_SUCCESS;
    }
    AAX_Result AddProcPtr(void* procPtr, AAX_CProcPtrID procID) override {
        Log("AddProcPtr", Arguments(procPtr != nullptr ? "proc" : "null", procID));
        state.procPtrs.emplace_back(procID, procPtr);
        return AAX_SUCCESS;
    }
    AAX_Result SetProperties(IACFUnknown* properties) override {
        Log("SetProperties", MapName(properties));
        return AAX_SUCCESS;
    }
    AAX_Result AddResourceInfo(int32_t resourceType, const char* info) override {
        Log("AddResourceInfo", Arguments(resourceType, Quoted(info)));
        state.resources.emplace_back(resourceType, info != nullptr ? info : "");
        return AAX_SUCCESS;
    }
    AAX_Result AddMeterDescription(AAX_CTypeID meterID, const char* meterName, IACFUnknown* properties) override {
        Log("AddMeterDescription", Arguments(meterID, Quoted(meterName), MapName(properties)));
        return AAX_SUCCESS;
    }
    AAX_Result AddControlMIDINode(AAX_CTypeID nodeID, int32_t nodeType, const char* nodeName,
                                  uint32_t channelMask) override {
        Log("AddControlMIDINode", Arguments(nodeID, nodeType, Quoted(nodeName), channelMask));
        return AAX_SUCCESS;
    }

    RecordedEffect state;

private:
    void* Find(const acfIID& iid) override {
        if (offersVersion2_ && iid == IID_IAAXEffectDescriptorV2) return static_cast<AAX_IACFEffectDescriptor_V2*>(this);
        return HostComponent::Find(iid);
    }
    bool offersVersion2_;
};

class PluginDefinitionComponent final : public HostComponent<IACFPluginDefinition> {
public:
    explicit PluginDefinitionComponent(RecordingDescriptionHost& host)
        : HostComponent(host, "definition", {IID_IACFPluginDefinition}) {}
};

class CollectionComponent final : public HostComponent<AAX_IACFCollection> {
public:
    explicit CollectionComponent(RecordingDescriptionHost& host)
        : HostComponent(host, "collection", {IID_IAAXCollectionV1}) {}

    AAX_Result AddEffect(const char* effectID, IACFUnknown* effectDescriptor) override {
        const auto* effect = dynamic_cast<EffectDescriptorComponent*>(effectDescriptor);
        Log("AddEffect", Arguments(Quoted(effectID), effect != nullptr ? effect->Name() : "null"));
        if (host_.options.addEffectResult != AAX_SUCCESS) return host_.options.addEffectResult;
        if (effect != nullptr) {
            RecordedEffect kept = effect->state;
            kept.identifier = effectID != nullptr ? effectID : "";
            host_.effects.push_back(kept);
        }
        return AAX_SUCCESS;
    }
    AAX_Result SetManufacturerName(const char* name) override {
        Log("SetManufacturerName", Quoted(name));
        host_.manufacturerName = name != nullptr ? name : "";
        return AAX_SUCCESS;
    }
    AAX_Result AddPackageName(const char* name) override {
        Log("AddPackageName", Quoted(name));
        host_.packageNames.push_back(name != nullptr ? name : "");
        return AAX_SUCCESS;
    }
    AAX_Result SetPackageVersion(uint32_t version) override {
        Log("SetPackageVersion", Arguments(version));
        host_.packageVersions.push_back(version);
        return AAX_SUCCESS;
    }
    AAX_Result SetProperties(IACFUnknown* properties) override {
        Log("SetProperties", MapName(properties));
        return AAX_SUCCESS;
    }

    // The plug-in definition is a component of its own, created on request.
    ACFRESULT QueryInterface(const acfIID& iid, void** outInterface) override {
        if (outInterface != nullptr && iid == IID_IACFPluginDefinition) {
            *outInterface = nullptr;
            if (!host_.options.offerPluginDefinition) return ACF_E_NOINTERFACE;
            *outInterface = static_cast<IACFPluginDefinition*>(new PluginDefinitionComponent(host_));
            return ACF_OK;
        }
        return HostComponent::QueryInterface(iid, outInterface);
    }
};

class HostServicesComponent final : public HostComponent<AAX_IACFHostServices> {
public:
    explicit HostServicesComponent(RecordingDescriptionHost& host)
        : HostComponent(host, "services", {IID_IAAXHostServicesV1}) {}
    AAX_Result HandleAssertFailure(const char*, int32_t, const char*) const override { return AAX_SUCCESS; }
    AAX_Result Trace(int32_t, const char*) const override { return AAX_SUCCESS; }
};

// Hands out a freshly created component under the interface asked for, or refuses it.
template <class Component>
ACFRESULT Offer(Component* component, const acfIID& iid, void** outInterface) {
    const ACFRESULT result = component->QueryInterface(iid, outInterface);
    component->Release();  // the creation reference; the query took the caller's
    return result;
}

}  // namespace

void* RecordedEffect::ProcPtr(AAX_CProcPtrID id) const {
    for (const auto& [procId, pointer] : procPtrs) {
        if (procId == id) return pointer;
    }
    return nullptr;
}

std::vector<std::string> RecordingDescriptionHost::CallsOn(const std::string& object) const {
    std::vector<std::string> calls;
    const std::string prefix = object + ".";
    for (const std::string& entry : log) {
        if (entry.rfind(prefix, 0) == 0) calls.push_back(entry.substr(prefix.size()));
    }
    return calls;
}

std::string RecordingDescriptionHost::NameNew(const std::string& kind) {
    return kind + std::to_string(++counters_[kind]);
}

ACFRESULT RecordingDescriptionHost::QueryInterface(const acfIID& iid, void** outInterface) {
    if (outInterface == nullptr) return ACF_E_NOINTERFACE;
    *outInterface = nullptr;
    if (iid == IID_IACFUnknown || (iid == IID_IACFComponentFactory && options.offerFactory)) {
        *outInterface = static_cast<IACFComponentFactory*>(this);
        AddRef();
        return ACF_OK;
    }
    return ACF_E_NOINTERFACE;
}

acfUInt32 RecordingDescriptionHost::AddRef() { return static_cast<acfUInt32>(++hostReferences_); }

acfUInt32 RecordingDescriptionHost::Release() { return static_cast<acfUInt32>(--hostReferences_); }

ACFRESULT RecordingDescriptionHost::CreateComponent(const acfCLSID& clsid, IACFUnknown* /*outer*/, const acfIID& iid,
                                                    void** outInterface) {
    if (outInterface == nullptr) return ACF_E_NOINTERFACE;
    *outInterface = nullptr;
    if (clsid == AAXCompID_AAXCollection && options.offerCollection) {
        return Offer(new CollectionComponent(*this), iid, outInterface);
    }
    if (clsid == AAXCompID_EffectDescriptor && options.offerEffectDescriptor) {
        return Offer(new EffectDescriptorComponent(*this), iid, outInterface);
    }
    if (clsid == AAXCompID_ComponentDescriptor && options.offerComponentDescriptor) {
        return Offer(new ComponentDescriptorComponent(*this), iid, outInterface);
    }
    if (clsid == AAXCompID_PropertyMap && options.offerPropertyMap) {
        return Offer(new PropertyMapComponent(*this), iid, outInterface);
    }
    if (clsid == AAXCompID_HostServices && options.offerHostServices) {
        return Offer(new HostServicesComponent(*this), iid, outInterface);
    }
    return ACF_E_NOINTERFACE;
}

}  // namespace testsupport
