#include "Description.h"

#include <cstdio>

#include "Json.h"
#include "interfaces/aax_host.h"

namespace aaxhost {

void PropertyList::Add(AAX_EProperty property, AAX_CPropertyValue value) {
    for (auto& entry : values) {
        if (entry.first == property) {
            entry.second = value;
            return;
        }
    }
    values.emplace_back(property, value);
}

bool PropertyList::Remove(AAX_EProperty property) {
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (it->first == property) {
            values.erase(it);
            return true;
        }
    }
    return false;
}

std::optional<AAX_CPropertyValue> PropertyList::Get(AAX_EProperty property) const {
    for (const auto& entry : values) {
        if (entry.first == property) return entry.second;
    }
    return std::nullopt;
}

const char* FieldKindName(FieldKind kind) {
    switch (kind) {
        case FieldKind::AudioIn: return "AudioIn";
        case FieldKind::AudioOut: return "AudioOut";
        case FieldKind::AudioBufferLength: return "AudioBufferLength";
        case FieldKind::SampleRate: return "SampleRate";
        case FieldKind::Clock: return "Clock";
        case FieldKind::SideChainIn: return "SideChainIn";
        case FieldKind::DataInPort: return "DataInPort";
        case FieldKind::AuxOutputStem: return "AuxOutputStem";
        case FieldKind::PrivateData: return "PrivateData";
        case FieldKind::TemporaryData: return "TemporaryData";
        case FieldKind::DmaInstance: return "DmaInstance";
        case FieldKind::Meters: return "Meters";
        case FieldKind::MIDINode: return "MIDINode";
        case FieldKind::ReservedField: return "ReservedField";
    }
    return "?";
}

int32_t ProcessProcDeclaration::InputStemFormat() const {
    return properties.Get(AAX_eProperty_InputStemFormat).value_or(0);
}

int32_t ProcessProcDeclaration::OutputStemFormat() const {
    return properties.Get(AAX_eProperty_OutputStemFormat).value_or(0);
}

const FieldDeclaration* ComponentDescription::Field(AAX_CFieldIndex index) const {
    for (const FieldDeclaration& field : fields) {
        if (field.index == index) return &field;
    }
    return nullptr;
}

const ProcessProcDeclaration* ComponentDescription::NativeProc() const {
    for (const ProcessProcDeclaration& proc : processProcs) {
        if (proc.native && proc.proc != nullptr) return &proc;
    }
    return nullptr;
}

void* EffectDescription::ProcPtr(AAX_CProcPtrID id) const {
    for (const ProcPtrDeclaration& entry : procPtrs) {
        if (entry.id == id) return entry.proc;
    }
    return nullptr;
}

const ComponentDescription* EffectDescription::ComponentForStem(int32_t stemFormat) const {
    for (const ComponentDescription& component : components) {
        const ProcessProcDeclaration* proc = component.NativeProc();
        if (proc != nullptr && proc->InputStemFormat() == stemFormat && proc->OutputStemFormat() == stemFormat) {
            return &component;
        }
    }
    return nullptr;
}

std::string FourCCText(uint32_t code) {
    char text[5] = {static_cast<char>(code >> 24), static_cast<char>(code >> 16), static_cast<char>(code >> 8),
                    static_cast<char>(code), 0};
    bool printable = true;
    for (int i = 0; i < 4; ++i) {
        if (text[i] < 0x20 || text[i] > 0x7E) printable = false;
    }
    if (printable) return std::string("'") + text + "'";
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", code);
    return hex;
}

std::string PropertyName(AAX_EProperty property) {
    switch (property) {
        case AAX_eProperty_ManufacturerID: return "ManufacturerID";
        case AAX_eProperty_ProductID: return "ProductID";
        case AAX_eProperty_PlugInID_Native: return "PlugInID_Native";
        case AAX_eProperty_PlugInID_AudioSuite: return "PlugInID_AudioSuite";
        case AAX_eProperty_InputStemFormat: return "InputStemFormat";
        case AAX_eProperty_OutputStemFormat: return "OutputStemFormat";
        case AAX_eProperty_CanBypass: return "CanBypass";
        default: return "Property" + std::to_string(property);
    }
}

namespace {

bool IsFourCCProperty(AAX_EProperty property) {
    return property == AAX_eProperty_ManufacturerID || property == AAX_eProperty_ProductID ||
           property == AAX_eProperty_PlugInID_Native || property == AAX_eProperty_PlugInID_AudioSuite;
}

std::string PropertyValueText(AAX_EProperty property, AAX_CPropertyValue value) {
    if (IsFourCCProperty(property)) return FourCCText(static_cast<uint32_t>(value));
    if (property == AAX_eProperty_InputStemFormat || property == AAX_eProperty_OutputStemFormat) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%X", static_cast<uint32_t>(value));
        return std::string(hex) + " (" + std::to_string(AAX_StemFormatChannelCount(value)) + " ch)";
    }
    return std::to_string(value);
}

const char* MidiNodeTypeName(int32_t type) {
    switch (type) {
        case AAX_eMIDINodeType_LocalInput: return "local input";
        case AAX_eMIDINodeType_LocalOutput: return "local output";
        case AAX_eMIDINodeType_Global: return "global";
        case AAX_eMIDINodeType_Transport: return "transport";
        default: return "unknown";
    }
}

std::string FieldText(const FieldDeclaration& field) {
    char extra[200] = "";
    switch (field.kind) {
        case FieldKind::DataInPort:
            std::snprintf(extra, sizeof extra, " size %u, port type %u", field.packetSize, field.portType);
            break;
        case FieldKind::MIDINode:
            std::snprintf(extra, sizeof extra, " type %d (%s), name \"%s\", channel mask 0x%X", field.nodeType,
                          MidiNodeTypeName(field.nodeType), field.name.c_str(), field.channelMask);
            break;
        case FieldKind::AuxOutputStem:
            std::snprintf(extra, sizeof extra, " stem 0x%X, name \"%s\"", static_cast<uint32_t>(field.stemFormat),
                          field.name.c_str());
            break;
        case FieldKind::PrivateData:
        case FieldKind::TemporaryData:
            std::snprintf(extra, sizeof extra, " size %lld, options %u", static_cast<long long>(field.dataSize),
                          field.options);
            break;
        case FieldKind::Meters:
            std::snprintf(extra, sizeof extra, " %zu meters", field.meterIDs.size());
            break;
        default: break;
    }
    return std::string(FieldKindName(field.kind)) + extra;
}

void PrintPropertiesText(std::ostream& out, const PropertyList& properties, const char* indent) {
    for (const auto& [property, value] : properties.values) {
        out << indent << property << " " << PropertyName(property) << " = " << PropertyValueText(property, value)
            << "\n";
    }
    for (const auto& entry : properties.pointers) {
        out << indent << entry.first << " " << PropertyName(entry.first) << " = pointer\n";
    }
}

void WritePropertiesJson(JsonWriter& json, const PropertyList& properties) {
    json.BeginArray();
    for (const auto& [property, value] : properties.values) {
        json.BeginObject();
        json.Field("id", property);
        json.Field("name", PropertyName(property));
        json.Field("value", value);
        if (IsFourCCProperty(property)) json.Field("text", FourCCText(static_cast<uint32_t>(value)));
        json.EndObject();
    }
    json.EndArray();
}

}  // namespace

void PrintDescriptionText(std::ostream& out, const CollectionDescription& d) {
    out << "Manufacturer: " << d.manufacturer << "\n";
    out << "Packages:";
    for (const std::string& name : d.packageNames) out << " \"" << name << "\"";
    out << "\n";
    if (d.packageVersion) out << "Package version: " << *d.packageVersion << "\n";
    if (d.hasProperties) PrintPropertiesText(out, d.properties, "  ");
    for (const EffectDescription& effect : d.effects) {
        out << "\nEffect " << effect.effectID << "\n";
        out << "  Names:";
        for (const std::string& name : effect.names) out << " \"" << name << "\"";
        out << "\n  Categories:";
        for (uint32_t category : effect.categories) out << " " << category;
        out << "\n";
        for (const auto& [category, id] : effect.categoryBypassParameters) {
            out << "  Category bypass " << category << ": \"" << id << "\"\n";
        }
        for (const ProcPtrDeclaration& proc : effect.procPtrs) {
            out << "  Factory proc " << proc.id
                << (proc.id == kAAX_ProcPtrID_Create_EffectParameters ? " (data model)"
                    : proc.id == kAAX_ProcPtrID_Create_EffectGUI     ? " (GUI)"
                                                                      : "")
                << (proc.proc != nullptr ? "" : " null") << "\n";
        }
        for (const auto& [type, info] : effect.resources) out << "  Resource " << type << ": \"" << info << "\"\n";
        for (const MeterDeclaration& meter : effect.meters) {
            out << "  Meter " << FourCCText(meter.id) << " \"" << meter.name << "\"\n";
        }
        for (const ControlMidiNodeDeclaration& node : effect.controlMidiNodes) {
            out << "  Control MIDI node " << FourCCText(node.id) << " type " << node.nodeType << " \"" << node.name
                << "\"\n";
        }
        if (effect.hasProperties) PrintPropertiesText(out, effect.properties, "  ");
        int number = 0;
        for (const ComponentDescription& component : effect.components) {
            out << "  Component " << number++ << "\n";
            for (const FieldDeclaration& field : component.fields) {
                out << "    field " << field.index << ": " << FieldText(field) << "\n";
            }
            for (const ProcessProcDeclaration& proc : component.processProcs) {
                if (proc.native) {
                    out << "    native process proc" << (proc.proc != nullptr ? "" : " (null)") << "\n";
                } else {
                    out << "    TI process proc " << proc.dllFileName << ":" << proc.procSymbol << "\n";
                }
                PrintPropertiesText(out, proc.properties, "      ");
            }
        }
    }
    for (const std::string& problem : d.problems) out << "Problem: " << problem << "\n";
}

void PrintDescriptionJson(std::ostream& out, const CollectionDescription& d) {
    JsonWriter json(out);
    json.BeginObject();
    json.Field("manufacturer", d.manufacturer);
    json.Key("packageNames");
    json.BeginArray();
    for (const std::string& name : d.packageNames) json.String(name);
    json.EndArray();
    json.Key("packageVersion");
    if (d.packageVersion) {
        json.Int(*d.packageVersion);
    } else {
        json.Null();
    }
    json.Key("properties");
    WritePropertiesJson(json, d.properties);
    json.Key("effects");
    json.BeginArray();
    for (const EffectDescription& effect : d.effects) {
        json.BeginObject();
        json.Field("id", effect.effectID);
        json.Key("names");
        json.BeginArray();
        for (const std::string& name : effect.names) json.String(name);
        json.EndArray();
        json.Key("categories");
        json.BeginArray();
        for (uint32_t category : effect.categories) json.Int(category);
        json.EndArray();
        json.Key("procPtrs");
        json.BeginArray();
        for (const ProcPtrDeclaration& proc : effect.procPtrs) {
            json.BeginObject();
            json.Field("id", proc.id);
            json.Field("present", proc.proc != nullptr);
            json.EndObject();
        }
        json.EndArray();
        json.Key("resources");
        json.BeginArray();
        for (const auto& [type, info] : effect.resources) {
            json.BeginObject();
            json.Field("type", type);
            json.Field("info", info);
            json.EndObject();
        }
        json.EndArray();
        json.Key("properties");
        WritePropertiesJson(json, effect.properties);
        json.Key("components");
        json.BeginArray();
        for (const ComponentDescription& component : effect.components) {
            json.BeginObject();
            json.Key("fields");
            json.BeginArray();
            for (const FieldDeclaration& field : component.fields) {
                json.BeginObject();
                json.Field("index", field.index);
                json.Field("kind", FieldKindName(field.kind));
                if (field.kind == FieldKind::DataInPort) {
                    json.Field("packetSize", field.packetSize);
                    json.Field("portType", field.portType);
                }
                if (field.kind == FieldKind::MIDINode) {
                    json.Field("nodeType", field.nodeType);
                    json.Field("name", field.name);
                    json.Field("channelMask", field.channelMask);
                }
                if (field.kind == FieldKind::PrivateData || field.kind == FieldKind::TemporaryData) {
                    json.Field("dataSize", field.dataSize);
                }
                json.EndObject();
            }
            json.EndArray();
            json.Key("processProcs");
            json.BeginArray();
            for (const ProcessProcDeclaration& proc : component.processProcs) {
                json.BeginObject();
                json.Field("native", proc.native);
                json.Field("present", proc.native ? proc.proc != nullptr : !proc.procSymbol.empty());
                json.Key("properties");
                WritePropertiesJson(json, proc.properties);
                json.EndObject();
            }
            json.EndArray();
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
    }
    json.EndArray();
    json.Key("problems");
    json.BeginArray();
    for (const std::string& problem : d.problems) json.String(problem);
    json.EndArray();
    json.EndObject();
}

}  // namespace aaxhost
