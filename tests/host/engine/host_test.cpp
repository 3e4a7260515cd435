// Registration through the host's factory and description objects, with the in-process fake
// module and with the objects driven directly.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "FakeModule.h"
#include "HostComponents.h"
#include "SlotObjects.h"
#include "Transport.h"
#include "PluginModule.h"
#include "platform/platform.h"

using namespace aaxhost;

namespace {

std::unique_ptr<PluginModule> RegisteredFake(std::string* error) {
    auto module = PluginModule::FromExports(fakemodule::Exports(), "fake", error);
    if (module && !module->StartAndRegister(error)) return nullptr;
    return module;
}

}  // namespace

TEST(HostRegistration, RecordsEveryDeclarationOfBothComponents) {
    fakemodule::Reset();
    std::string error;
    auto module = RegisteredFake(&error);
    ASSERT_TRUE(module) << error;
    const CollectionDescription& collection = module->Description();
    EXPECT_EQ(collection.manufacturer, "Example");
    ASSERT_TRUE(collection.packageVersion.has_value());
    EXPECT_EQ(*collection.packageVersion, 3u);
    EXPECT_TRUE(collection.problems.empty());
    const EffectDescription* effect = module->Effect();
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->effectID, "org.example.fakegain");
    EXPECT_EQ(effect->names, (std::vector<std::string>{"Fake Gain", "FkGn"}));
    EXPECT_EQ(effect->categories, (std::vector<uint32_t>{1}));
    EXPECT_NE(effect->ProcPtr(kAAX_ProcPtrID_Create_EffectParameters), nullptr);
    EXPECT_NE(effect->ProcPtr(kAAX_ProcPtrID_Create_EffectGUI), nullptr);
    // The module reuses one component descriptor with Clear in between: each AddComponent must
    // keep what was declared at that moment.
    ASSERT_EQ(effect->components.size(), 2u);
    for (const ComponentDescription& component : effect->components) {
        ASSERT_EQ(component.fields.size(), 7u);
        const FieldDeclaration* blob = component.Field(fakemodule::kFieldBlob);
        ASSERT_NE(blob, nullptr);
        EXPECT_EQ(blob->kind, FieldKind::DataInPort);
        EXPECT_EQ(blob->packetSize, 8u);
        const FieldDeclaration* midi = component.Field(fakemodule::kFieldMidiIn);
        ASSERT_NE(midi, nullptr);
        EXPECT_EQ(midi->nodeType, AAX_eMIDINodeType_LocalInput);
        EXPECT_EQ(midi->name, "Fake In");
        EXPECT_EQ(midi->channelMask, 1u);
    }
    const ComponentDescription* mono = effect->ComponentForStem(AAX_eStemFormat_Mono);
    const ComponentDescription* stereo = effect->ComponentForStem(AAX_eStemFormat_Stereo);
    ASSERT_NE(mono, nullptr);
    ASSERT_NE(stereo, nullptr);
    EXPECT_NE(mono, stereo);
    EXPECT_EQ(mono->NativeProc()->properties.Get(AAX_eProperty_PlugInID_Native).value_or(0),
              static_cast<int32_t>(AAX_FourCC('F', 'k', 'M', 'n')));
    EXPECT_EQ(stereo->NativeProc()->properties.Get(AAX_eProperty_PlugInID_Native).value_or(0),
              static_cast<int32_t>(AAX_FourCC('F', 'k', 'S', 't')));
    EXPECT_TRUE(module->HeldAfterRegistration().empty());
}

TEST(HostRegistration, ReportsDescriptionObjectsTheModuleKeepsAndEmptyRegistrations) {
    fakemodule::Reset();
    fakemodule::Settings().leakDescriptor = true;
    std::string error;
    auto module = RegisteredFake(&error);
    ASSERT_TRUE(module) << error;
    ASSERT_EQ(module->HeldAfterRegistration().size(), 1u);
    EXPECT_EQ(module->HeldAfterRegistration()[0], "effect descriptor (1)");

    fakemodule::Reset();
    fakemodule::Settings().registerNothing = true;
    auto empty = PluginModule::FromExports(fakemodule::Exports(), "fake", &error);
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty->StartAndRegister(&error));
    EXPECT_EQ(error, "the module registered no effect");
    fakemodule::Reset();
}

TEST(HostRegistration, RefusesAModuleThatLacksAnExport) {
    ModuleExports exports = fakemodule::Exports();
    exports.shutdown = nullptr;
    std::string error;
    EXPECT_FALSE(PluginModule::FromExports(exports, "broken.so", &error));
    EXPECT_EQ(error, "broken.so is not a module: it lacks the export ACFShutdown");

    EXPECT_FALSE(PluginModule::Load("/no/such/module" + std::string(platform::kSharedLibrarySuffix), &error));
    EXPECT_NE(error.find("no such file"), std::string::npos);
}

TEST(HostRegistration, FindsTheLibraryInsideABundleFolder) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("aaxhost-bundle-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(root);
    const fs::path bundle = root / "Thing.aaxplugin";
    fs::create_directories(bundle / "Contents" / "x64");
    std::string error;
    EXPECT_EQ(ResolveModuleLibrary(bundle.string(), &error), "");
    EXPECT_NE(error.find("Contents/x64/Thing.aaxplugin"), std::string::npos);
    std::ofstream(bundle / "Thing.aaxplugin") << "x";  // directly inside: the fallback
    EXPECT_EQ(ResolveModuleLibrary(bundle.string(), &error), (bundle / "Thing.aaxplugin").string());
    std::ofstream(bundle / "Contents" / "x64" / "Thing.aaxplugin") << "x";  // the proper place wins
    EXPECT_EQ(ResolveModuleLibrary(bundle.string(), &error), (bundle / "Contents" / "x64" / "Thing.aaxplugin").string());
    const fs::path file = root / "plain.so";
    std::ofstream(file) << "x";
    EXPECT_EQ(ResolveModuleLibrary(file.string(), &error), file.string());
    fs::remove_all(root);
}

TEST(HostComponents, RefuseForeignObjectsAndDuplicateFieldsAndCountReferences) {
    HostComponentFactory factory;
    void* out = nullptr;
    ASSERT_EQ(factory.CreateComponent(AAXCompID_ComponentDescriptor, nullptr, IID_IAAXComponentDescriptorV2, &out), ACF_OK);
    auto* component = static_cast<AAX_IACFComponentDescriptor_V2*>(out);
    EXPECT_EQ(component->AddAudioIn(0), AAX_SUCCESS);
    EXPECT_NE(component->AddAudioOut(0), AAX_SUCCESS);  // index 0 is taken
    EXPECT_EQ(component->AddTemporaryData(3, 64), AAX_SUCCESS);

    ASSERT_EQ(factory.CreateComponent(AAXCompID_EffectDescriptor, nullptr, IID_IAAXEffectDescriptorV1, &out), ACF_OK);
    auto* effect = static_cast<AAX_IACFEffectDescriptor*>(out);
    EXPECT_EQ(effect->AddComponent(&factory), AAX_ERROR_NULL_OBJECT);  // not a component descriptor
    EXPECT_EQ(effect->AddComponent(nullptr), AAX_ERROR_NULL_OBJECT);
    EXPECT_EQ(effect->AddComponent(component), AAX_SUCCESS);
    EXPECT_EQ(factory.Find<HostEffectDescriptor>(effect)->Snapshot().components[0].fields.size(), 2u);

    // Aggregation and unknown classes are refused with a null output.
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory.CreateComponent(AAXCompID_PropertyMap, component, IID_IAAXPropertyMapV1, &out), ACF_E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory.CreateComponent(IID_IACFUnknown, nullptr, IID_IACFUnknown, &out), ACF_E_NOINTERFACE);

    EXPECT_EQ(factory.Problems().size(), 5u);
    EXPECT_EQ(factory.HeldObjects().size(), 2u);
    effect->Release();
    component->Release();
    EXPECT_TRUE(factory.HeldObjects().empty());
    component->Release();  // one too many
    EXPECT_EQ(factory.ReferenceUnderflows(), 1);
}

TEST(HostComponents, CollectionHandsOutItsDefinitionAndPropertyMapsKeepOrder) {
    HostComponentFactory factory;
    void* out = nullptr;
    ASSERT_EQ(factory.CreateComponent(AAXCompID_AAXCollection, nullptr, IID_IAAXCollectionV1, &out), ACF_OK);
    auto* collection = static_cast<AAX_IACFCollection*>(out);
    void* definition = nullptr;
    ASSERT_EQ(collection->QueryInterface(IID_IACFPluginDefinition, &definition), ACF_OK);
    HostPluginDefinition* ours = factory.Find<HostPluginDefinition>(static_cast<IACFUnknown*>(definition));
    ASSERT_NE(ours, nullptr);
    EXPECT_EQ(&ours->Collection(), factory.Find<HostCollection>(collection));

    ASSERT_EQ(factory.CreateComponent(AAXCompID_PropertyMap, nullptr, IID_IAAXPropertyMapV2, &out), ACF_OK);
    auto* map = static_cast<AAX_IACFPropertyMap_V2*>(out);
    map->AddProperty(52, 2);
    map->AddProperty(51, 1);
    map->AddProperty(52, 7);  // replaces in place
    AAX_CPropertyValue value = 0;
    EXPECT_EQ(map->GetProperty(52, &value), 1);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(map->GetProperty(99, &value), 0);
    const PropertyList& list = factory.Find<HostPropertyMap>(map)->Properties();
    ASSERT_EQ(list.values.size(), 2u);
    EXPECT_EQ(list.values[0].first, 52);
    EXPECT_EQ(list.values[1].first, 51);
    map->Release();
    static_cast<IACFUnknown*>(definition)->Release();
    collection->Release();
}

TEST(HostDescription, PrintsFieldsAndPropertiesAsTextAndJson) {
    fakemodule::Reset();
    std::string error;
    auto module = RegisteredFake(&error);
    ASSERT_TRUE(module) << error;
    std::ostringstream text, json;
    PrintDescriptionText(text, module->Description());
    PrintDescriptionJson(json, module->Description());
    EXPECT_NE(text.str().find("field 4: DataInPort size 8, port type 1"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("MIDINode type 0 (local input), name \"Fake In\", channel mask 0x1"), std::string::npos);
    EXPECT_NE(text.str().find("ManufacturerID = 'Fake'"), std::string::npos);
    EXPECT_NE(json.str().find("\"packetSize\": 8"), std::string::npos) << json.str();
    EXPECT_NE(json.str().find("\"id\": \"org.example.fakegain\""), std::string::npos);
    EXPECT_NE(json.str().find("\"text\": \"'FkSt'\""), std::string::npos);
    // One document: balanced braces.
    const std::string doc = json.str();
    EXPECT_EQ(std::count(doc.begin(), doc.end(), '{'), std::count(doc.begin(), doc.end(), '}'));
}

// The host's string, MIDI node and transport are tables written apart from the module's
// interface declarations; called through those declarations, every slot reaches its operation.
TEST(HostSlotObjects, AnswerEachSlotAsTheInterfacesDeclareIt) {
    SlotTraps::Reset();
    TransportState state;
    state.SetTempo(133.0);
    state.SetMeter(7, 8);
    state.SetPlaying(true);
    state.SetPosition(96000);
    TransportObject transportObject(&state);
    MidiNodeObject nodeObject(AAX_eMIDINodeType_Transport, 4, &transportObject);
    ASSERT_TRUE(nodeObject.Add(5, 0x90, 60, 100));
    TextObject textObject("start");

    auto* node = static_cast<AAX_IMIDINode*>(nodeObject.Binary());
    ASSERT_EQ(node->GetTransport(), transportObject.Binary());
    const AAX_CMidiStream* stream = node->GetNodeBuffer();
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(stream->mBufferSize, 1u);
    EXPECT_EQ(stream->mBuffer[0].mTimestamp, 5u);
    EXPECT_EQ(stream->mBuffer[0].mData[1], 60);
    AAX_CMidiPacket outgoing{9, 3, {0x80, 60, 0, 0}, false};
    EXPECT_EQ(node->PostMIDIPacket(&outgoing), AAX_SUCCESS);
    ASSERT_EQ(nodeObject.TakeOutgoing().size(), 1u);

    const AAX_ITransport* transport = node->GetTransport();
    double tempo = 0.0;
    int32_t numerator = 0, denominator = 0, bars = 0, beats = 0;
    int64_t location = 0, ticks = -1;
    bool playing = false;
    EXPECT_EQ(transport->GetCurrentTempo(&tempo), AAX_SUCCESS);
    EXPECT_EQ(transport->GetCurrentMeter(&numerator, &denominator), AAX_SUCCESS);
    EXPECT_EQ(transport->IsTransportPlaying(&playing), AAX_SUCCESS);
    EXPECT_EQ(transport->GetCurrentNativeSampleLocation(&location), AAX_SUCCESS);
    EXPECT_EQ(transport->GetBarBeatPosition(&bars, &beats, &ticks, 0), AAX_SUCCESS);
    EXPECT_EQ(tempo, 133.0);
    EXPECT_EQ(numerator, 7);
    EXPECT_EQ(denominator, 8);
    EXPECT_TRUE(playing);
    EXPECT_EQ(location, 96000);
    EXPECT_EQ(bars, 1);
    EXPECT_EQ(beats, 1);
    EXPECT_EQ(ticks, 0);

    AAX_IString* text = static_cast<AAX_IString*>(textObject.Binary());
    EXPECT_EQ(text->Length(), 5u);
    EXPECT_EQ(text->MaxLength(), 0xFFFFFFFEu);
    *text = "assigned";
    EXPECT_EQ(textObject.Str(), "assigned");
    TextObject other("from another string");
    *text = *static_cast<const AAX_IString*>(other.Binary());
    EXPECT_STREQ(text->Get(), "from another string");
    EXPECT_EQ(SlotTraps::Count(), 0) << SlotTraps::Latest();
}

// A module that laid the tables out with two destructor slots would call operations one slot
// late: the entries past each table, and slot 0 (a host object is never the module's to
// destroy), record the call and leave the object alone.
TEST(HostSlotObjects, RecordCallsPastTheTableAndToDestroyInsteadOfRunningThem) {
    TransportState state;
    TransportObject transport(&state);
    MidiNodeObject node(AAX_eMIDINodeType_LocalInput, 4);
    TextObject text("kept");
    struct Case {
        void* object;
        int32_t slot;
        const char* recorded;
    };
    for (const Case& c : {Case{transport.Binary(), 14, "transport slot 14"}, Case{node.Binary(), 4, "MIDI node slot 4"},
                          Case{node.Binary(), 11, "MIDI node slot 11"}, Case{text.Binary(), 7, "string slot 7"},
                          Case{text.Binary(), 0, "string slot 0"}}) {
        SlotTraps::Reset();
        const auto* table = *static_cast<void* const* const*>(c.object);
        auto* slot = reinterpret_cast<void* (*)(void*, uint32_t)>(table[c.slot]);
        void* answer = slot(c.object, AAX_kDestroyFreesMemory);
        EXPECT_EQ(answer, c.slot == 0 ? c.object : nullptr) << c.recorded;
        EXPECT_EQ(SlotTraps::Count(), 1) << c.recorded;
        EXPECT_EQ(SlotTraps::Latest(), c.recorded);
    }
    EXPECT_EQ(text.Str(), "kept");
    SlotTraps::Reset();
}
