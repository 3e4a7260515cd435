// What a module declared at registration, recorded call by call by the host's description
// objects: the collection, its effects, their components, fields, properties, processing
// callbacks and factories. Printable as text and as JSON.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "interfaces/aax_description.h"

namespace aaxhost {

// Property number -> value, in the order the module added them (a repeated number replaces
// the earlier value in place).
struct PropertyList {
    std::vector<std::pair<AAX_EProperty, AAX_CPropertyValue>> values;
    std::vector<std::pair<AAX_EProperty, const void*>> pointers;

    void Add(AAX_EProperty property, AAX_CPropertyValue value);
    bool Remove(AAX_EProperty property);
    std::optional<AAX_CPropertyValue> Get(AAX_EProperty property) const;
};

enum class FieldKind {
    AudioIn,
    AudioOut,
    AudioBufferLength,
    SampleRate,
    Clock,
    SideChainIn,
    DataInPort,
    AuxOutputStem,
    PrivateData,
    TemporaryData,
    DmaInstance,
    Meters,
    MIDINode,
    ReservedField,
};
const char* FieldKindName(FieldKind kind);

struct FieldDeclaration {
    FieldKind kind = FieldKind::ReservedField;
    AAX_CFieldIndex index = 0;
    uint32_t packetSize = 0;     // DataInPort
    uint32_t portType = 0;       // DataInPort
    int32_t nodeType = 0;        // MIDINode
    std::string name;            // MIDINode, AuxOutputStem
    uint32_t channelMask = 0;    // MIDINode
    int32_t stemFormat = 0;      // AuxOutputStem
    int64_t dataSize = 0;        // PrivateData, TemporaryData
    uint32_t options = 0;        // PrivateData options, ReservedField type, DmaInstance mode
    std::vector<AAX_CTypeID> meterIDs;  // Meters
};

struct ProcessProcDeclaration {
    bool native = true;
    AAX_CProcessProc proc = nullptr;
    AAX_CInstanceInitProc instanceInit = nullptr;
    AAX_CBackgroundProc background = nullptr;
    std::string dllFileName;     // TI only
    std::string procSymbol;      // TI only
    bool hasProperties = false;
    PropertyList properties;

    int32_t InputStemFormat() const;
    int32_t OutputStemFormat() const;
};

struct ComponentDescription {
    std::vector<FieldDeclaration> fields;
    std::vector<ProcessProcDeclaration> processProcs;

    const FieldDeclaration* Field(AAX_CFieldIndex index) const;
    // The first native processing callback, or null.
    const ProcessProcDeclaration* NativeProc() const;
};

struct ProcPtrDeclaration {
    void* proc = nullptr;
    AAX_CProcPtrID id = 0;
};

struct MeterDeclaration {
    AAX_CTypeID id = 0;
    std::string name;
    PropertyList properties;
};

struct ControlMidiNodeDeclaration {
    AAX_CTypeID id = 0;
    int32_t nodeType = 0;
    std::string name;
    uint32_t channelMask = 0;
};

struct EffectDescription {
    std::string effectID;
    std::vector<std::string> names;
    std::vector<uint32_t> categories;
    std::vector<std::pair<uint32_t, std::string>> categoryBypassParameters;
    std::vector<ComponentDescription> components;
    std::vector<ProcPtrDeclaration> procPtrs;
    std::vector<std::pair<int32_t, std::string>> resources;
    std::vector<MeterDeclaration> meters;
    std::vector<ControlMidiNodeDeclaration> controlMidiNodes;
    bool hasProperties = false;
    PropertyList properties;

    void* ProcPtr(AAX_CProcPtrID id) const;
    // The component whose native callback declares this input and output stem format, or null.
    const ComponentDescription* ComponentForStem(int32_t stemFormat) const;
};

struct CollectionDescription {
    std::string manufacturer;
    std::vector<std::string> packageNames;
    std::optional<uint32_t> packageVersion;
    std::vector<EffectDescription> effects;
    bool hasProperties = false;
    PropertyList properties;
    // Calls the host could not honour (an unknown object passed in, a null name, ...).
    std::vector<std::string> problems;
};

// [main] Text for people; JSON for tools.
void PrintDescriptionText(std::ostream& out, const CollectionDescription& description);
void PrintDescriptionJson(std::ostream& out, const CollectionDescription& description);

// A four-character code as text when all four bytes are printable ('Kelm'), else hexadecimal.
std::string FourCCText(uint32_t code);
std::string PropertyName(AAX_EProperty property);

}  // namespace aaxhost
