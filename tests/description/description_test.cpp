#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "description/AAXWrapper_Description.h"
#include "interfaces/aax_effect.h"
#include "interfaces/aax_ids.h"
#include "module/ModuleState.h"
#include "render/ProcessCallback.h"
#include "support/RecordingDescriptionHost.h"
#include "support/registry_sandbox.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using aaxhost::EffectDescription;
using testsupport::RecordingDescriptionHost;

namespace {

int32_t Code(const char (&text)[5]) { return static_cast<int32_t>(AAX_FourCC(text[0], text[1], text[2], text[3])); }

std::map<AAX_EProperty, AAX_CPropertyValue> PropertyMap(const aaxhost::PropertyList& list) {
    return std::map<AAX_EProperty, AAX_CPropertyValue>(list.values.begin(), list.values.end());
}

const std::vector<std::string> kExpectedFields = {
    "AddAudioIn(0)",
    "AddAudioBufferLength(5)",
    "AddAudioOut(2)",
    "AddSideChainIn(4)",
    "AddDataInPort(1,4,1)",
    "AddDataInPort(3,4,1)",
    "AddDataInPort(6,4,1)",
    "AddDataInPort(7,8,1)",
    "AddDataInPort(8,4,1)",
    "AddMIDINode(9,3,\"AAX_Hollowpitch_MIDITrnsprt\",65535)",
    "AddMIDINode(10,0,\"Vantrelo:Delay\",65535)",
};

struct Registration {
    ACFRESULT result = 0;
    IACFPluginDefinition* definition = nullptr;
};

// Registers against the host and gives back the definition reference, as a host keeps it.
Registration Register(RecordingDescriptionHost& host) {
    Registration registration;
    auto sentinel = reinterpret_cast<IACFPluginDefinition*>(static_cast<uintptr_t>(0x1234));
    registration.definition = sentinel;
    registration.result = AAXWrapper_RegisterPlugin(&host, &registration.definition);
    return registration;
}

void ReleaseDefinition(Registration& registration) {
    if (registration.definition != nullptr && registration.result == ACF_OK) registration.definition->Release();
    registration.definition = nullptr;
}

}  // namespace

TEST(EffectDescription, RegistersOneEffectWithItsNamesCategoryAndFactories) {
    RecordingDescriptionHost host;
    Registration registration = Register(host);
    ASSERT_EQ(registration.result, ACF_OK);
    ASSERT_NE(registration.definition, nullptr);

    const aaxhost::CollectionDescription registered = host.Registered();
    ASSERT_EQ(registered.effects.size(), 1u);
    const EffectDescription& effect = registered.effects[0];
    EXPECT_EQ(effect.effectID, kAAXWrapper_EffectIdentifier);
    EXPECT_THAT(effect.names, ElementsAre("Vantrelo:Delay", "VantroDelay", "VntDel", "VtDel"));
    EXPECT_THAT(effect.categories, ElementsAre(16u));
    ASSERT_EQ(effect.procPtrs.size(), 2u);
    EXPECT_EQ(effect.procPtrs[0].id, kAAX_ProcPtrID_Create_EffectParameters);
    EXPECT_EQ(effect.procPtrs[1].id, kAAX_ProcPtrID_Create_EffectGUI);
    EXPECT_NE(effect.procPtrs[0].proc, nullptr);
    EXPECT_NE(effect.procPtrs[1].proc, nullptr);
    EXPECT_NE(effect.procPtrs[0].proc, effect.procPtrs[1].proc);
    ASSERT_EQ(effect.resources.size(), 1u);
    EXPECT_EQ(effect.resources[0].first, 0);
    EXPECT_EQ(effect.resources[0].second, "");

    EXPECT_EQ(registered.manufacturer, "Brenlock");
    EXPECT_THAT(registered.packageNames, ElementsAre("Vantrelo:Delay", "VantroDelay", "VntDel"));
    EXPECT_EQ(registered.packageVersion, 1u);

    // The effect descriptor's own calls, in order: the component descriptor is reused for both
    // components, and the resource info sits between the two factories.
    EXPECT_THAT(host.CallsOn("effect1"),
                ElementsAre("AddName(\"Vantrelo:Delay\")", "AddName(\"VantroDelay\")", "AddName(\"VntDel\")",
                            "AddName(\"VtDel\")", "AddCategory(16)", "AddComponent(component1)",
                            "AddComponent(component1)", "AddProcPtr(proc,0)", "AddResourceInfo(0,\"\")",
                            "AddProcPtr(proc,1)"));
    // The collection's: the effect first, then manufacturer, packages and version.
    EXPECT_THAT(host.CallsOn("collection1"),
                ElementsAre("AddEffect(\"com.brenlock.vantrelodelay\",effect1)", "SetManufacturerName(\"Brenlock\")",
                            "AddPackageName(\"Vantrelo:Delay\")", "AddPackageName(\"VantroDelay\")",
                            "AddPackageName(\"VntDel\")", "SetPackageVersion(1)"));

    // Every description wrapper is gone once registration returns: only the definition remains.
    EXPECT_EQ(host.LiveComponents(), 1);
    EXPECT_EQ(host.HostReferences(), 0);
    ReleaseDefinition(registration);
    EXPECT_EQ(host.LiveComponents(), 0);
}

TEST(EffectDescription, BothComponentsDeclareTheElevenFieldsInOrderAfterAClear) {
    RecordingDescriptionHost host;
    Registration registration = Register(host);
    ASSERT_EQ(registration.result, ACF_OK);
    const aaxhost::CollectionDescription registered = host.Registered();
    ASSERT_EQ(registered.effects.size(), 1u);
    ASSERT_EQ(registered.effects[0].components.size(), 2u);
    for (const auto& component : registered.effects[0].components) {
        EXPECT_EQ(component.fields.size(), kExpectedFields.size());
    }

    // Each component starts from a cleared descriptor, declares the fields and ends with its
    // processing callback.
    const std::vector<std::string> calls = host.CallsOn("component1");
    ASSERT_EQ(calls.size(), 2 * (1 + kExpectedFields.size() + 1));
    const size_t half = calls.size() / 2;
    EXPECT_EQ(calls[0], "Clear()");
    EXPECT_EQ(calls[half], "Clear()");
    for (const size_t first : {size_t{1}, half + 1}) {
        EXPECT_EQ(std::vector<std::string>(calls.begin() + static_cast<ptrdiff_t>(first),
                                           calls.begin() + static_cast<ptrdiff_t>(first + kExpectedFields.size())),
                  kExpectedFields);
    }
    EXPECT_EQ(calls[half - 1], "AddProcessProc_Native(proc,map1,null,null,null)");
    EXPECT_EQ(calls.back(), "AddProcessProc_Native(proc,map2,null,null,null)");
    ReleaseDefinition(registration);
}

TEST(EffectDescription, StereoComponentDiffersFromMonoOnlyInStemFormatsAndPlugInIds) {
    RecordingDescriptionHost host;
    Registration registration = Register(host);
    ASSERT_EQ(registration.result, ACF_OK);
    const aaxhost::CollectionDescription registered = host.Registered();
    const auto& components = registered.effects.at(0).components;
    ASSERT_EQ(components.size(), 2u);
    ASSERT_EQ(components[0].processProcs.size(), 1u);
    ASSERT_EQ(components[1].processProcs.size(), 1u);
    const auto& mono = components[0].processProcs[0];
    const auto& stereo = components[1].processProcs[0];

    for (const auto* proc : {&mono, &stereo}) {
        EXPECT_EQ(proc->proc, &AAXWrapper_AlgorithmProcessFunction);
        EXPECT_TRUE(proc->hasProperties);
        EXPECT_EQ(proc->instanceInit, nullptr);
        EXPECT_EQ(proc->background, nullptr);
    }
    const std::map<AAX_EProperty, AAX_CPropertyValue> expectedMono = {
        {11, Code("Kelm")}, {12, Code("keVt")}, {60, 1}, {51, 1}, {52, 1}, {13, Code("mVtn")}, {14, Code("mVta")}};
    const std::map<AAX_EProperty, AAX_CPropertyValue> expectedStereo = {
        {11, Code("Kelm")}, {12, Code("keVt")}, {60, 1}, {51, 0x10002}, {52, 0x10002},
        {13, Code("sVtn")}, {14, Code("sVta")}};
    EXPECT_EQ(PropertyMap(mono.properties), expectedMono);
    EXPECT_EQ(PropertyMap(stereo.properties), expectedStereo);

    std::set<AAX_EProperty> differing;
    for (const auto& [property, value] : PropertyMap(mono.properties)) {
        if (PropertyMap(stereo.properties).at(property) != value) differing.insert(property);
    }
    EXPECT_EQ(differing, (std::set<AAX_EProperty>{13, 14, 51, 52}));

    // The properties are added in a fixed order.
    EXPECT_THAT(host.CallsOn("map1"),
                ElementsAre("AddProperty(11," + std::to_string(Code("Kelm")) + ")",
                            "AddProperty(12," + std::to_string(Code("keVt")) + ")", "AddProperty(60,1)",
                            "AddProperty(51,1)", "AddProperty(52,1)",
                            "AddProperty(13," + std::to_string(Code("mVtn")) + ")",
                            "AddProperty(14," + std::to_string(Code("mVta")) + ")"));
    ReleaseDefinition(registration);
}

TEST(EffectDescription, ComponentWithoutPropertyMapDeclaresFieldsButNoCallback) {
    RecordingDescriptionHost::Options options;
    options.offerPropertyMap = false;
    RecordingDescriptionHost host(options);
    {
        AAX_VComponentDescriptor component(&host);
        DescribeComponent(AAX_eStemFormat_Mono, component);
    }
    EXPECT_THAT(host.CallsOn("component1"), ElementsAreArray(kExpectedFields));
    EXPECT_EQ(host.LiveComponents(), 0);
    EXPECT_EQ(host.HostReferences(), 0);
}

TEST(Registration, StillNamesManufacturerAndPackageWhenTheEffectIsRefused) {
    RecordingDescriptionHost::Options options;
    options.addEffectResult = -12345;
    RecordingDescriptionHost host(options);
    Registration registration = Register(host);

    EXPECT_EQ(registration.result, -12345);
    EXPECT_EQ(registration.definition, reinterpret_cast<IACFPluginDefinition*>(static_cast<uintptr_t>(0x1234)))
        << "a failed registration leaves the output slot alone";
    const aaxhost::CollectionDescription registered = host.Registered();
    EXPECT_TRUE(registered.effects.empty());
    EXPECT_EQ(registered.manufacturer, "Brenlock");
    EXPECT_THAT(registered.packageNames, ElementsAre("Vantrelo:Delay", "VantroDelay", "VntDel"));
    EXPECT_EQ(registered.packageVersion, 1u);
    EXPECT_EQ(host.LiveComponents(), 0);
    EXPECT_EQ(host.HostReferences(), 0);
}

TEST(Registration, MissingDescriptorsAnswerNullObjectAndDescribeNothingFurther) {
    {
        RecordingDescriptionHost::Options options;
        options.offerEffectDescriptor = false;
        RecordingDescriptionHost host(options);
        EXPECT_EQ(Register(host).result, AAX_ERROR_NULL_OBJECT);
        EXPECT_EQ(host.Registered().manufacturer, "Brenlock");
        EXPECT_EQ(host.Registered().packageVersion, 1u);
        EXPECT_TRUE(host.CallsOn("component1").empty());
        EXPECT_EQ(host.LiveComponents(), 0);
    }
    {
        RecordingDescriptionHost::Options options;
        options.offerComponentDescriptor = false;
        RecordingDescriptionHost host(options);
        EXPECT_EQ(Register(host).result, AAX_ERROR_NULL_OBJECT);
        EXPECT_TRUE(host.CallsOn("effect1").empty()) << "no names, category or factories without a component";
        EXPECT_TRUE(host.Registered().effects.empty());
        EXPECT_EQ(host.Registered().manufacturer, "Brenlock");
        EXPECT_EQ(host.LiveComponents(), 0);
        EXPECT_EQ(host.HostReferences(), 0);
    }
}

TEST(Registration, FailsWhenTheHostGivesNoPluginDefinitionOrNoFactory) {
    {
        RecordingDescriptionHost::Options options;
        options.offerPluginDefinition = false;
        RecordingDescriptionHost host(options);
        Registration registration = Register(host);
        EXPECT_EQ(registration.result, AAX_ERROR_NULL_OBJECT);
        EXPECT_EQ(registration.definition, nullptr) << "the output slot is cleared before the query";
        EXPECT_EQ(host.Registered().effects.size(), 1u);
        EXPECT_EQ(host.LiveComponents(), 0);
    }
    {
        RecordingDescriptionHost::Options options;
        options.offerFactory = false;
        RecordingDescriptionHost host(options);
        EXPECT_EQ(Register(host).result, AAX_ERROR_NULL_OBJECT);
        EXPECT_TRUE(host.log.empty());
        EXPECT_EQ(host.HostReferences(), 0);
    }
}

TEST(DescriptionWrappers, DuplicatePropertyMapCopiesOnlyPropertiesTenTo307) {
    RecordingDescriptionHost host;
    {
        AAX_VComponentDescriptor component(&host);
        AAX_IPropertyMap* source = component.NewPropertyMap();
        ASSERT_NE(source, nullptr);
        for (AAX_EProperty property : {9, 10, 60, 307, 308}) source->AddProperty(property, property * 2);

        AAX_IPropertyMap* copy = component.DuplicatePropertyMap(source);
        ASSERT_NE(copy, nullptr);
        ASSERT_NE(copy, source);
        std::map<AAX_EProperty, AAX_CPropertyValue> copied;
        for (AAX_EProperty property = 0; property < 400; ++property) {
            AAX_CPropertyValue value = 0;
            if (copy->GetProperty(property, &value)) copied[property] = value;
        }
        EXPECT_EQ(copied, (std::map<AAX_EProperty, AAX_CPropertyValue>{{10, 20}, {60, 120}, {307, 614}}));

        // A null source gives an empty map rather than a crash.
        AAX_IPropertyMap* empty = component.DuplicatePropertyMap(nullptr);
        ASSERT_NE(empty, nullptr);
        AAX_CPropertyValue value = 0;
        EXPECT_FALSE(empty->GetProperty(10, &value));
    }
    EXPECT_EQ(host.LiveComponents(), 0) << "the component descriptor owns and destroys its maps";
    EXPECT_EQ(host.HostReferences(), 0);
}

TEST(DescriptionWrappers, VersionTwoOperationsNeedTheVersionTwoInterfaces) {
    for (const bool offered : {true, false}) {
        RecordingDescriptionHost::Options options;
        options.offerVersion2 = offered;
        RecordingDescriptionHost host(options);
        const AAX_Result expected = offered ? AAX_SUCCESS : AAX_ERROR_UNIMPLEMENTED;
        AAX_VComponentDescriptor component(&host);
        AAX_VEffectDescriptor effect(&host);
        AAX_VPropertyMap map(&host);
        EXPECT_EQ(component.AddTemporaryData(3, 16), expected);
        EXPECT_EQ(effect.AddControlMIDINode(1, 0, "node", 1), expected);
        EXPECT_EQ(map.AddPointerProperty(20, nullptr), expected);
        // Version-1 operations work either way.
        EXPECT_EQ(component.AddAudioIn(0), AAX_SUCCESS);
        EXPECT_EQ(effect.AddName("x"), AAX_SUCCESS);
        EXPECT_EQ(map.AddProperty(20, 1), AAX_SUCCESS);
    }
}

TEST(DescriptionWrappers, WithoutHostComponentsEveryOperationAnswersNullObject) {
    RecordingDescriptionHost::Options options;
    options.offerFactory = false;
    RecordingDescriptionHost host(options);
    {
        AAX_VCollection collection(&host);
        AAX_VEffectDescriptor effect(&host);
        AAX_VComponentDescriptor component(&host);
        AAX_VPropertyMap map(&host);
        EXPECT_EQ(collection.NewDescriptor(), nullptr);
        EXPECT_EQ(collection.NewPropertyMap(), nullptr);
        EXPECT_EQ(collection.AddEffect("id", &effect), AAX_ERROR_NULL_OBJECT);
        EXPECT_EQ(collection.AddEffect("id", nullptr), AAX_ERROR_NULL_OBJECT);
        EXPECT_EQ(collection.SetManufacturerName("m"), AAX_ERROR_NULL_OBJECT);
        EXPECT_EQ(effect.NewComponentDescriptor(), nullptr);
        EXPECT_EQ(effect.AddName("n"), AAX_ERROR_NULL_OBJECT);
        EXPECT_EQ(effect.AddComponent(&component), AAX_ERROR_NULL_OBJECT);
        EXPECT_EQ(component.AddDataInPort(1, 4, 1), AAX_ERROR_NULL_OBJECT);
        EXPECT_EQ(component.AddProcessProc_Native(&AAXWrapper_AlgorithmProcessFunction, nullptr, nullptr, nullptr,
                                                  nullptr),
                  AAX_ERROR_NULL_OBJECT);
        EXPECT_EQ(component.AddTemporaryData(1, 4), AAX_ERROR_UNIMPLEMENTED);
        AAX_CPropertyValue value = 7;
        EXPECT_FALSE(map.GetProperty(11, &value));
        EXPECT_EQ(value, 7);
        EXPECT_EQ(map.AddProperty(11, 1), AAX_ERROR_NULL_OBJECT);
        EXPECT_EQ(map.RemoveProperty(11), AAX_ERROR_NULL_OBJECT);
    }
    EXPECT_EQ(host.HostReferences(), 0);
}

TEST(EffectDescription, RegisteredFactoriesCreateTheDataModelAndTheGui) {
    testsupport::RegistrySandbox registry;  // no effect installed: the data model degrades
    RecordingDescriptionHost host;
    Registration registration = Register(host);
    ASSERT_EQ(registration.result, ACF_OK);
    const aaxhost::CollectionDescription registered = host.Registered();
    const EffectDescription& effect = registered.effects.at(0);
    const int32_t liveBefore = ACFLiveObjectCount();

    struct Expectation {
        AAX_CProcPtrID id;
        acfIID iid;
    };
    for (const Expectation& expectation : {Expectation{kAAX_ProcPtrID_Create_EffectParameters, IID_IAAXEffectParametersV1},
                                           Expectation{kAAX_ProcPtrID_Create_EffectGUI, IID_IAAXEffectGUIV1}}) {
        auto factory = reinterpret_cast<AAX_CCreateObjectProc>(effect.ProcPtr(expectation.id));
        ASSERT_NE(factory, nullptr);
        IACFUnknown* object = factory();
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(ACFLiveObjectCount(), liveBefore + 1);
        void* component = nullptr;
        ASSERT_EQ(object->QueryInterface(expectation.iid, &component), ACF_OK);
        ASSERT_NE(component, nullptr);
        EXPECT_EQ(static_cast<IACFUnknown*>(component)->Release(), 0u);
        EXPECT_EQ(ACFLiveObjectCount(), liveBefore);
    }
    ReleaseDefinition(registration);
}
