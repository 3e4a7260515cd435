#include "HostComponents.h"

#include <cstdio>
#include <locale>
#include <sstream>

namespace aaxhost {

namespace {

std::string Text(const char* text) { return text != nullptr ? text : ""; }

// Call-report arguments.
std::string Quoted(const char* text) { return text == nullptr ? "null" : "\"" + std::string(text) + "\""; }

template <typename... Args>
std::string Arguments(const Args&... args) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    bool first = true;
    ((out << (first ? "" : ",") << args, first = false), ...);
    return out.str();
}

template <typename Function>
const char* FunctionName(Function function) {
    return function != nullptr ? "proc" : "null";
}

std::string MapName(const HostComponentFactory& factory, IACFUnknown* properties) {
    if (properties == nullptr) return "null";
    const HostPropertyMap* map = factory.Find<HostPropertyMap>(properties);
    return map != nullptr ? map->TraceName() : "foreign";
}

template <class Object>
std::string ObjectName(const HostComponentFactory& factory, IACFUnknown* object) {
    const Object* found = object != nullptr ? factory.Find<Object>(object) : nullptr;
    return found != nullptr ? found->TraceName() : "null";
}

FieldDeclaration MakeField(FieldKind kind, AAX_CFieldIndex index) {
    FieldDeclaration field;
    field.kind = kind;
    field.index = index;
    return field;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Property map

AAX_CBoolean HostPropertyMap::GetProperty(AAX_EProperty property, AAX_CPropertyValue* outValue) const {
    const auto value = properties_.Get(property);
    if (!value) return 0;
    if (outValue != nullptr) *outValue = *value;
    return 1;
}

bool HostPropertyMap::Answers(const acfIID& iid) const {
    return iid == IID_IAAXPropertyMapV1 || (factory_.offers.version2 && iid == IID_IAAXPropertyMapV2);
}

AAX_Result HostPropertyMap::AddProperty(AAX_EProperty property, AAX_CPropertyValue value) {
    Trace("AddProperty", Arguments(property, value));
    properties_.Add(property, value);
    return AAX_SUCCESS;
}

AAX_Result HostPropertyMap::RemoveProperty(AAX_EProperty property) {
    Trace("RemoveProperty", Arguments(property));
    properties_.Remove(property);
    return AAX_SUCCESS;
}

AAX_Result HostPropertyMap::AddPointerProperty(AAX_EProperty property, const void* value) {
    Trace("AddPointerProperty", Arguments(property));
    for (auto& entry : properties_.pointers) {
        if (entry.first == property) {
            entry.second = value;
            return AAX_SUCCESS;
        }
    }
    properties_.pointers.emplace_back(property, value);
    return AAX_SUCCESS;
}

AAX_CBoolean HostPropertyMap::GetPointerProperty(AAX_EProperty property, const void** outValue) const {
    for (const auto& entry : properties_.pointers) {
        if (entry.first == property) {
            if (outValue != nullptr) *outValue = entry.second;
            return 1;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Component descriptor

bool HostComponentDescriptor::Answers(const acfIID& iid) const {
    return iid == IID_IAAXComponentDescriptorV1 || (factory_.offers.version2 && iid == IID_IAAXComponentDescriptorV2);
}

AAX_Result HostComponentDescriptor::Clear() {
    Trace("Clear", "");
    component_ = {};
    procProperties_.clear();
    return AAX_SUCCESS;
}

AAX_Result HostComponentDescriptor::AddField(FieldDeclaration field) {
    if (component_.Field(field.index) != nullptr) {
        factory_.AddProblem("field " + std::to_string(field.index) + " declared twice");
        return AAX_ERROR_NULL_OBJECT;
    }
    component_.fields.push_back(std::move(field));
    return AAX_SUCCESS;
}

AAX_Result HostComponentDescriptor::AddAudioIn(AAX_CFieldIndex field) {
    Trace("AddAudioIn", Arguments(field));
    return AddField(MakeField(FieldKind::AudioIn, field));
}
AAX_Result HostComponentDescriptor::AddAudioOut(AAX_CFieldIndex field) {
    Trace("AddAudioOut", Arguments(field));
    return AddField(MakeField(FieldKind::AudioOut, field));
}
AAX_Result HostComponentDescriptor::AddAudioBufferLength(AAX_CFieldIndex field) {
    Trace("AddAudioBufferLength", Arguments(field));
    return AddField(MakeField(FieldKind::AudioBufferLength, field));
}
AAX_Result HostComponentDescriptor::AddSampleRate(AAX_CFieldIndex field) {
    Trace("AddSampleRate", Arguments(field));
    return AddField(MakeField(FieldKind::SampleRate, field));
}
AAX_Result HostComponentDescriptor::AddClock(AAX_CFieldIndex field) {
    Trace("AddClock", Arguments(field));
    return AddField(MakeField(FieldKind::Clock, field));
}
AAX_Result HostComponentDescriptor::AddSideChainIn(AAX_CFieldIndex field) {
    Trace("AddSideChainIn", Arguments(field));
    return AddField(MakeField(FieldKind::SideChainIn, field));
}

AAX_Result HostComponentDescriptor::AddDataInPort(AAX_CFieldIndex field, uint32_t packetSize, uint32_t portType) {
    Trace("AddDataInPort", Arguments(field, packetSize, portType));
    FieldDeclaration declaration = MakeField(FieldKind::DataInPort, field);
    declaration.packetSize = packetSize;
    declaration.portType = portType;
    return AddField(std::move(declaration));
}

AAX_Result HostComponentDescriptor::AddAuxOutputStem(AAX_CFieldIndex field, int32_t stemFormat, const char* name) {
    Trace("AddAuxOutputStem", Arguments(field, stemFormat, Quoted(name)));
    FieldDeclaration declaration = MakeField(FieldKind::AuxOutputStem, field);
    declaration.stemFormat = stemFormat;
    declaration.name = Text(name);
    return AddField(std::move(declaration));
}

AAX_Result HostComponentDescriptor::AddPrivateData(AAX_CFieldIndex field, int32_t dataSize, uint32_t options) {
    Trace("AddPrivateData", Arguments(field, dataSize, options));
    FieldDeclaration declaration = MakeField(FieldKind::PrivateData, field);
    declaration.dataSize = dataSize;
    declaration.options = options;
    return AddField(std::move(declaration));
}

AAX_Result HostComponentDescriptor::AddTemporaryData(AAX_CFieldIndex field, uint32_t dataElementSize) {
    Trace("AddTemporaryData", Arguments(field, dataElementSize));
    FieldDeclaration declaration = MakeField(FieldKind::TemporaryData, field);
    declaration.dataSize = dataElementSize;
    return AddField(std::move(declaration));
}

AAX_Result HostComponentDescriptor::AddDmaInstance(AAX_CFieldIndex field, int32_t dmaMode) {
    Trace("AddDmaInstance", Arguments(field, dmaMode));
    FieldDeclaration declaration = MakeField(FieldKind::DmaInstance, field);
    declaration.options = static_cast<uint32_t>(dmaMode);
    return AddField(std::move(declaration));
}

AAX_Result HostComponentDescriptor::AddMeters(AAX_CFieldIndex field, const AAX_CTypeID* meterIDs, uint32_t meterCount) {
    Trace("AddMeters", Arguments(field, meterCount));
    FieldDeclaration declaration = MakeField(FieldKind::Meters, field);
    if (meterIDs == nullptr && meterCount > 0) {
        factory_.AddProblem("AddMeters with a null list");
        return AAX_ERROR_NULL_OBJECT;
    }
    if (meterCount > 1024) {
        factory_.AddProblem("AddMeters with " + std::to_string(meterCount) + " meters");
        return AAX_ERROR_NULL_OBJECT;
    }
    declaration.meterIDs.assign(meterIDs, meterIDs + meterCount);
    return AddField(std::move(declaration));
}

AAX_Result HostComponentDescriptor::AddMIDINode(AAX_CFieldIndex field, int32_t nodeType, const char* nodeName,
                                                uint32_t channelMask) {
    Trace("AddMIDINode", Arguments(field, nodeType, Quoted(nodeName), channelMask));
    FieldDeclaration declaration = MakeField(FieldKind::MIDINode, field);
    declaration.nodeType = nodeType;
    declaration.name = Text(nodeName);
    declaration.channelMask = channelMask;
    return AddField(std::move(declaration));
}

AAX_Result HostComponentDescriptor::AddReservedField(AAX_CFieldIndex field, uint32_t fieldType) {
    Trace("AddReservedField", Arguments(field, fieldType));
    FieldDeclaration declaration = MakeField(FieldKind::ReservedField, field);
    declaration.options = fieldType;
    return AddField(std::move(declaration));
}

AAX_Result HostComponentDescriptor::AddProcessProc_Native(AAX_CProcessProc processProc, IACFUnknown* properties,
                                                          AAX_CInstanceInitProc instanceInitProc,
                                                          AAX_CBackgroundProc backgroundProc,
                                                          AAX_CTypeID* outProcID) {
    Trace("AddProcessProc_Native",
          Arguments(FunctionName(processProc), MapName(factory_, properties), FunctionName(instanceInitProc),
                    FunctionName(backgroundProc), outProcID != nullptr ? "out" : "null"));
    ProcessProcDeclaration proc;
    proc.native = true;
    proc.proc = processProc;
    proc.instanceInit = instanceInitProc;
    proc.background = backgroundProc;
    const HostPropertyMap* map = nullptr;
    if (properties != nullptr) {
        map = factory_.Find<HostPropertyMap>(properties);
        if (map == nullptr) factory_.AddProblem("AddProcessProc_Native with a property map that is not the host's");
    }
    if (processProc == nullptr) factory_.AddProblem("AddProcessProc_Native with a null callback");
    proc.hasProperties = map != nullptr;
    if (map != nullptr) proc.properties = map->Properties();
    component_.processProcs.push_back(std::move(proc));
    procProperties_.push_back(map);
    if (outProcID != nullptr) *outProcID = static_cast<AAX_CTypeID>(component_.processProcs.size());
    return processProc != nullptr ? AAX_SUCCESS : AAX_ERROR_NULL_OBJECT;
}

AAX_Result HostComponentDescriptor::AddProcessProc_TI(const char* dllFileName, const char* processProcSymbol,
                                                      IACFUnknown* properties, const char*, const char*,
                                                      AAX_CTypeID* outProcID) {
    Trace("AddProcessProc_TI", Arguments(Quoted(dllFileName), Quoted(processProcSymbol), MapName(factory_, properties)));
    ProcessProcDeclaration proc;
    proc.native = false;
    proc.dllFileName = Text(dllFileName);
    proc.procSymbol = Text(processProcSymbol);
    const HostPropertyMap* map = properties != nullptr ? factory_.Find<HostPropertyMap>(properties) : nullptr;
    proc.hasProperties = map != nullptr;
    if (map != nullptr) proc.properties = map->Properties();
    component_.processProcs.push_back(std::move(proc));
    procProperties_.push_back(map);
    if (outProcID != nullptr) *outProcID = static_cast<AAX_CTypeID>(component_.processProcs.size());
    return AAX_SUCCESS;
}

ComponentDescription HostComponentDescriptor::Snapshot() const {
    ComponentDescription copy = component_;
    for (size_t i = 0; i < copy.processProcs.size() && i < procProperties_.size(); ++i) {
        if (procProperties_[i] != nullptr) copy.processProcs[i].properties = procProperties_[i]->Properties();
    }
    return copy;
}

// ---------------------------------------------------------------------------------------------
// Effect descriptor

bool HostEffectDescriptor::Answers(const acfIID& iid) const {
    return iid == IID_IAAXEffectDescriptorV1 || (factory_.offers.version2 && iid == IID_IAAXEffectDescriptorV2);
}

AAX_Result HostEffectDescriptor::AddComponent(IACFUnknown* componentDescriptor) {
    Trace("AddComponent", ObjectName<HostComponentDescriptor>(factory_, componentDescriptor));
    const HostComponentDescriptor* component =
        componentDescriptor != nullptr ? factory_.Find<HostComponentDescriptor>(componentDescriptor) : nullptr;
    if (component == nullptr) {
        factory_.AddProblem(componentDescriptor == nullptr ? "AddComponent with a null component"
                                                           : "AddComponent with an object that is not the host's");
        return AAX_ERROR_NULL_OBJECT;
    }
    effect_.components.push_back(component->Snapshot());
    return AAX_SUCCESS;
}

AAX_Result HostEffectDescriptor::AddName(const char* name) {
    Trace("AddName", Quoted(name));
    if (name == nullptr) {
        factory_.AddProblem("AddName with a null name");
        return AAX_ERROR_NULL_OBJECT;
    }
    effect_.names.emplace_back(name);
    return AAX_SUCCESS;
}

AAX_Result HostEffectDescriptor::AddCategory(uint32_t category) {
    Trace("AddCategory", Arguments(category));
    effect_.categories.push_back(category);
    return AAX_SUCCESS;
}

AAX_Result HostEffectDescriptor::AddCategoryBypassParameter(uint32_t category, AAX_CParamID parameterID) {
    Trace("AddCategoryBypassParameter", Arguments(category, Quoted(parameterID)));
    effect_.categoryBypassParameters.emplace_back(category, Text(parameterID));
    return AAX_SUCCESS;
}

AAX_Result HostEffectDescriptor::AddProcPtr(void* procPtr, AAX_CProcPtrID procID) {
    Trace("AddProcPtr", Arguments(FunctionName(procPtr), procID));
    if (procPtr == nullptr) factory_.AddProblem("AddProcPtr " + std::to_string(procID) + " with a null function");
    for (ProcPtrDeclaration& entry : effect_.procPtrs) {
        if (entry.id == procID) {
            factory_.AddProblem("AddProcPtr " + std::to_string(procID) + " given twice; the last one counts");
            entry.proc = procPtr;
            return AAX_SUCCESS;
        }
    }
    effect_.procPtrs.push_back({procPtr, procID});
    return procPtr != nullptr ? AAX_SUCCESS : AAX_ERROR_NULL_OBJECT;
}

AAX_Result HostEffectDescriptor::SetProperties(IACFUnknown* properties) {
    Trace("SetProperties", MapName(factory_, properties));
    properties_ = properties != nullptr ? factory_.Find<HostPropertyMap>(properties) : nullptr;
    if (properties_ == nullptr) {
        factory_.AddProblem("SetProperties on the effect with an object that is not a host property map");
        return AAX_ERROR_NULL_OBJECT;
    }
    return AAX_SUCCESS;
}

AAX_Result HostEffectDescriptor::AddResourceInfo(int32_t resourceType, const char* info) {
    Trace("AddResourceInfo", Arguments(resourceType, Quoted(info)));
    effect_.resources.emplace_back(resourceType, Text(info));
    return AAX_SUCCESS;
}

AAX_Result HostEffectDescriptor::AddMeterDescription(AAX_CTypeID meterID, const char* meterName,
                                                     IACFUnknown* properties) {
    Trace("AddMeterDescription", Arguments(meterID, Quoted(meterName), MapName(factory_, properties)));
    MeterDeclaration meter;
    meter.id = meterID;
    meter.name = Text(meterName);
    if (const HostPropertyMap* map = properties != nullptr ? factory_.Find<HostPropertyMap>(properties) : nullptr) {
        meter.properties = map->Properties();
    }
    effect_.meters.push_back(std::move(meter));
    return AAX_SUCCESS;
}

AAX_Result HostEffectDescriptor::AddControlMIDINode(AAX_CTypeID nodeID, int32_t nodeType, const char* nodeName,
                                                    uint32_t channelMask) {
    Trace("AddControlMIDINode", Arguments(nodeID, nodeType, Quoted(nodeName), channelMask));
    effect_.controlMidiNodes.push_back({nodeID, nodeType, Text(nodeName), channelMask});
    return AAX_SUCCESS;
}

EffectDescription HostEffectDescriptor::Snapshot() const {
    EffectDescription copy = effect_;
    copy.hasProperties = properties_ != nullptr;
    if (properties_ != nullptr) copy.properties = properties_->Properties();
    return copy;
}

// ---------------------------------------------------------------------------------------------
// Collection

HostCollection::HostCollection(HostComponentFactory& factory) : FactoryObject(factory) {
    definition_ = factory.Adopt(std::make_unique<HostPluginDefinition>(factory, *this));
}

ACFRESULT HostCollection::QueryInterface(const acfIID& iid, void** outInterface) {
    if (iid == IID_IACFPluginDefinition && outInterface != nullptr) {
        if (!factory_.offers.pluginDefinition) {
            *outInterface = nullptr;
            return ACF_E_NOINTERFACE;
        }
        return definition_->QueryInterface(iid, outInterface);
    }
    return FactoryObject::QueryInterface(iid, outInterface);
}

AAX_Result HostCollection::AddEffect(const char* effectID, IACFUnknown* effectDescriptor) {
    Trace("AddEffect", Arguments(Quoted(effectID), ObjectName<HostEffectDescriptor>(factory_, effectDescriptor)));
    const AAX_Result accepted = factory_.AcceptEffect(effectID);
    if (accepted != AAX_SUCCESS) return accepted;
    const HostEffectDescriptor* descriptor =
        effectDescriptor != nullptr ? factory_.Find<HostEffectDescriptor>(effectDescriptor) : nullptr;
    if (descriptor == nullptr) {
        factory_.AddProblem("AddEffect with an object that is not a host effect descriptor");
        return AAX_ERROR_NULL_OBJECT;
    }
    if (effectID == nullptr || effectID[0] == '\0') {
        factory_.AddProblem("AddEffect with an empty effect identifier");
        return AAX_ERROR_NULL_OBJECT;
    }
    EffectDescription effect = descriptor->Snapshot();
    effect.effectID = effectID;
    collection_.effects.push_back(std::move(effect));
    return AAX_SUCCESS;
}

AAX_Result HostCollection::SetManufacturerName(const char* name) {
    Trace("SetManufacturerName", Quoted(name));
    collection_.manufacturer = Text(name);
    return AAX_SUCCESS;
}

AAX_Result HostCollection::AddPackageName(const char* name) {
    Trace("AddPackageName", Quoted(name));
    collection_.packageNames.push_back(Text(name));
    return AAX_SUCCESS;
}

AAX_Result HostCollection::SetPackageVersion(uint32_t version) {
    Trace("SetPackageVersion", Arguments(version));
    collection_.packageVersion = version;
    return AAX_SUCCESS;
}

AAX_Result HostCollection::SetProperties(IACFUnknown* properties) {
    Trace("SetProperties", MapName(factory_, properties));
    properties_ = properties != nullptr ? factory_.Find<HostPropertyMap>(properties) : nullptr;
    return properties_ != nullptr ? AAX_SUCCESS : AAX_ERROR_NULL_OBJECT;
}

CollectionDescription HostCollection::Snapshot() const {
    CollectionDescription copy = collection_;
    copy.hasProperties = properties_ != nullptr;
    if (properties_ != nullptr) copy.properties = properties_->Properties();
    copy.problems = factory_.Problems();
    return copy;
}

// ---------------------------------------------------------------------------------------------
// Host services

AAX_Result HostServices::HandleAssertFailure(const char* file, int32_t line, const char* note) const {
    factory_.AddMessage("assertion failed at " + Text(file) + ":" + std::to_string(line) + ": " + Text(note));
    return AAX_SUCCESS;
}

AAX_Result HostServices::Trace(int32_t priority, const char* message) const {
    factory_.AddMessage("trace " + std::to_string(priority) + ": " + Text(message));
    return AAX_SUCCESS;
}

// ---------------------------------------------------------------------------------------------
// Factory

HostComponentFactory::HostComponentFactory() = default;
HostComponentFactory::~HostComponentFactory() = default;

ACFRESULT HostComponentFactory::CreateComponent(const acfCLSID& clsid, IACFUnknown* outer, const acfIID& iid,
                                                void** outInterface) {
    if (outInterface == nullptr) return ACF_E_NOINTERFACE;
    *outInterface = nullptr;
    if (outer != nullptr) {
        AddProblem("CreateComponent asked for aggregation, which the host does not offer");
        return ACF_E_NOINTERFACE;
    }
    FactoryOwned* created = nullptr;
    if (clsid == AAXCompID_AAXCollection) {
        if (!offers.collection) return ACF_E_NOINTERFACE;
        created = Adopt(std::make_unique<HostCollection>(*this));
    } else if (clsid == AAXCompID_EffectDescriptor) {
        if (!offers.effectDescriptor) return ACF_E_NOINTERFACE;
        created = Adopt(std::make_unique<HostEffectDescriptor>(*this));
    } else if (clsid == AAXCompID_ComponentDescriptor) {
        if (!offers.componentDescriptor) return ACF_E_NOINTERFACE;
        created = Adopt(std::make_unique<HostComponentDescriptor>(*this));
    } else if (clsid == AAXCompID_PropertyMap) {
        if (!offers.propertyMap) return ACF_E_NOINTERFACE;
        created = Adopt(std::make_unique<HostPropertyMap>(*this));
    } else if (clsid == AAXCompID_HostServices) {
        if (!offers.hostServices) return ACF_E_NOINTERFACE;
        created = Adopt(std::make_unique<HostServices>(*this));
    } else {
        AddProblem("CreateComponent for an unknown class");
        return ACF_E_NOINTERFACE;
    }
    return created->Unknown()->QueryInterface(iid, outInterface);
}

void HostComponentFactory::AddProblem(const std::string& problem) {
    std::lock_guard<std::mutex> lock(logMutex_);
    if (problems_.size() < 1000) problems_.push_back(problem);
}

std::vector<std::string> HostComponentFactory::Problems() const {
    std::lock_guard<std::mutex> lock(logMutex_);
    return problems_;
}

void HostComponentFactory::AddMessage(const std::string& message) const {
    std::lock_guard<std::mutex> lock(logMutex_);
    if (messages_.size() < 1000) messages_.push_back(message);
}

std::vector<std::string> HostComponentFactory::Messages() const {
    std::lock_guard<std::mutex> lock(logMutex_);
    return messages_;
}

std::vector<std::string> HostComponentFactory::HeldObjects(const std::vector<const FactoryOwned*>& keep) const {
    std::vector<std::string> held;
    for (const auto& object : objects_) {
        bool kept = false;
        for (const FactoryOwned* k : keep) kept = kept || k == object.get();
        if (kept || object->Refs().Count() == 0) continue;
        held.push_back(std::string(object->KindName()) + " (" + std::to_string(object->Refs().Count()) + ")");
    }
    return held;
}

int32_t HostComponentFactory::ReferenceUnderflows() const {
    int32_t total = References().Underflows();
    for (const auto& object : objects_) total += object->Refs().Underflows();
    return total;
}

std::vector<const FactoryOwned*> HostComponentFactory::ObjectsOfKind(const char* kind) const {
    std::vector<const FactoryOwned*> found;
    for (const auto& object : objects_) {
        if (std::string(object->KindName()) == kind) found.push_back(object.get());
    }
    return found;
}

size_t HostComponentFactory::CreatedCount(const char* kind) const {
    size_t count = 0;
    for (const auto& object : objects_) {
        if (std::string(object->KindName()) == kind) ++count;
    }
    return count;
}

}  // namespace aaxhost
