// The built module file, driven as a host drives it: loaded by path, started, registered,
// instances created through the registered factories and initialised against the test effect
// installed through the registry, audio run through the registered processing callback, state
// saved and restored, the editor opened and closed, everything released, and the module shut
// down with nothing left alive.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "interfaces/aax_description.h"
#include "interfaces/aax_effect.h"
#include "interfaces/aax_ids.h"
#include "interfaces/vst2.h"
#include "SlotObjects.h"
#include "platform/platform.h"
#include "render/AlgorithmContext.h"
#include "support/FakeGuiHost.h"
#include "support/FakeTransport.h"
#include "support/RecordingDescriptionHost.h"
#include "support/RecordingEffect.h"
#include "support/TestEffectInstall.h"
#include "support/registry_sandbox.h"

using ::testing::ElementsAre;
using testsupport::FakeGuiHost;
using aaxhost::HostViewContainer;
using testsupport::PostedPacket;
using testsupport::RecordingDescriptionHost;

namespace {

using RegisterPluginFn = ACFRESULT (*)(IACFUnknown*, IACFPluginDefinition**);
using RegisterComponentFn = ACFRESULT (*)(IACFUnknown*, const acfCLSID&, IACFUnknown**);
using GetClassFactoryFn = ACFRESULT (*)(IACFUnknown*, const acfCLSID&, const acfIID&, void**);
using CanUnloadNowFn = ACFRESULT (*)(IACFUnknown*);
using StartupFn = ACFRESULT (*)(IACFUnknown*);
using ShutdownFn = ACFRESULT (*)(IACFUnknown*);
using GetSDKVersionFn = ACFRESULT (*)(acfUInt64*);

struct ModuleExports {
    RegisterPluginFn registerPlugin = nullptr;
    RegisterComponentFn registerComponent = nullptr;
    GetClassFactoryFn getClassFactory = nullptr;
    CanUnloadNowFn canUnloadNow = nullptr;
    StartupFn startup = nullptr;
    ShutdownFn shutdown = nullptr;
    GetSDKVersionFn getSDKVersion = nullptr;
};

std::string ModulePath() {
    return testsupport::BinaryDirectory() + platform::kPathSeparatorText + "VantreloDelayAAX" +
           platform::kSharedLibrarySuffix;
}

template <typename Function>
Function Lookup(platform::LibraryHandle library, const char* name) {
    return reinterpret_cast<Function>(platform::LookupSymbol(library, name));
}

// The context fields the data model posted, kept where the record's pointers can reach them.
struct PostedFields {
    int32_t inputChannels = 0;
    int32_t outputChannels = 0;
    void* vstInterface = nullptr;
    int32_t loaded = -1;
    int found = 0;
};

PostedFields CollectPosts(const std::vector<PostedPacket>& posts) {
    PostedFields fields;
    for (const PostedPacket& post : posts) {
        void* target = nullptr;
        size_t size = 0;
        switch (post.fieldIndex) {
            case kField_InputChannels: target = &fields.inputChannels; size = 4; break;
            case kField_OutputChannels: target = &fields.outputChannels; size = 4; break;
            case kField_VstInterface: target = &fields.vstInterface; size = 8; break;
            case kField_Loaded: target = &fields.loaded; size = 4; break;
            default: continue;
        }
        if (post.payload.size() != size) continue;
        std::memcpy(target, post.payload.data(), size);
        ++fields.found;
    }
    return fields;
}

template <typename Interface>
Interface* Query(IACFUnknown* object, const acfIID& iid) {
    void* found = nullptr;
    if (object == nullptr || object->QueryInterface(iid, &found) != ACF_OK) return nullptr;
    return static_cast<Interface*>(found);
}

}  // namespace

TEST(ModuleEndToEnd, HostDrivesTheBuiltModuleThroughItsWholeLife) {
    TestEffectInstall install;
    ASSERT_TRUE(install.Ok()) << install.Error();
    RecordingEffect effect;
    effect.SetUniqueId(0x56746C44);
    effect.SetNumParams(2);
    effect.SetParameterId(0, "Mix");
    effect.SetParameterName(0, "Mix");
    effect.SetParameterId(1, "Time");
    effect.SetParameterName(1, "Time");
    effect.SetParameterValue(1, 0.5f);
    effect.SetChunk({0xDE, 0xAD, 0xBE, 0xEF, 0x01});
    effect.SetEditorRect({0, 0, 240, 320});
    effect.SetProcessGain(0.5f);
    install.Serve(&effect);

    platform::LibraryHandle library = platform::LoadLibraryFile(ModulePath().c_str());
    ASSERT_NE(library, nullptr) << ModulePath() << ": " << platform::LastLoadError();
    ModuleExports module;
    module.registerPlugin = Lookup<RegisterPluginFn>(library, "ACFRegisterPlugin");
    module.registerComponent = Lookup<RegisterComponentFn>(library, "ACFRegisterComponent");
    module.getClassFactory = Lookup<GetClassFactoryFn>(library, "ACFGetClassFactory");
    module.canUnloadNow = Lookup<CanUnloadNowFn>(library, "ACFCanUnloadNow");
    module.startup = Lookup<StartupFn>(library, "ACFStartup");
    module.shutdown = Lookup<ShutdownFn>(library, "ACFShutdown");
    module.getSDKVersion = Lookup<GetSDKVersionFn>(library, "ACFGetSDKVersion");
    ASSERT_NE(module.registerPlugin, nullptr);
    ASSERT_NE(module.registerComponent, nullptr);
    ASSERT_NE(module.getClassFactory, nullptr);
    ASSERT_NE(module.canUnloadNow, nullptr);
    ASSERT_NE(module.startup, nullptr);
    ASSERT_NE(module.shutdown, nullptr);
    ASSERT_NE(module.getSDKVersion, nullptr);

    // Start-up and registration.
    acfUInt64 version = 0;
    EXPECT_EQ(module.getSDKVersion(&version), ACF_OK);
    EXPECT_EQ(version, 0x000002000061125CULL);
    RecordingDescriptionHost descriptionHost;
    ASSERT_EQ(module.startup(&descriptionHost), ACF_OK);
    IACFPluginDefinition* definition = nullptr;
    ASSERT_EQ(module.registerPlugin(&descriptionHost, &definition), ACF_OK);
    ASSERT_NE(definition, nullptr);
    const aaxhost::CollectionDescription registered = descriptionHost.Registered();
    ASSERT_EQ(registered.effects.size(), 1u);
    const aaxhost::EffectDescription& described = registered.effects[0];
    ASSERT_EQ(described.components.size(), 2u);
    ASSERT_EQ(described.components[1].processProcs.size(), 1u);
    const AAX_CProcessProc process = described.components[1].processProcs[0].proc;  // stereo
    auto createDataModel = reinterpret_cast<AAX_CCreateObjectProc>(described.ProcPtr(kAAX_ProcPtrID_Create_EffectParameters));
    auto createGui = reinterpret_cast<AAX_CCreateObjectProc>(described.ProcPtr(kAAX_ProcPtrID_Create_EffectGUI));
    ASSERT_NE(process, nullptr);
    ASSERT_NE(createDataModel, nullptr);
    ASSERT_NE(createGui, nullptr);
    EXPECT_EQ(module.canUnloadNow(nullptr), 0);
    void* factory = reinterpret_cast<void*>(1);
    EXPECT_EQ(module.getClassFactory(nullptr, AAXCompID_AAXCollection, IID_IACFUnknown, &factory),
              AAX_ERROR_UNIMPLEMENTED);
    EXPECT_EQ(factory, nullptr);

    // The data model, against the effect installed through the registry.
    auto* dataModel = Query<AAX_IACFEffectParameters>(createDataModel(), IID_IAAXEffectParametersV1);
    ASSERT_NE(dataModel, nullptr);
    EXPECT_EQ(module.canUnloadNow(nullptr), 1);
    EXPECT_EQ(install.MainCalls(), 1);
    FakeGuiHost host;
    host.host.automation.SetDataModel(dataModel);
    ASSERT_EQ(dataModel->Initialize(host.host.Unknown()), AAX_SUCCESS);
    int32_t parameterCount = 0;
    dataModel->GetNumberOfParameters(&parameterCount);
    EXPECT_EQ(parameterCount, 3);
    EXPECT_EQ(effect.CountOpcode(vst2::effOpen), 1u);

    // A few buffers through the registered callback, as the host fills the context record.
    const PostedFields fields = CollectPosts(host.host.packets.Posts());
    ASSERT_EQ(fields.found, 4);
    EXPECT_EQ(fields.loaded, 1);
    EXPECT_EQ(fields.inputChannels, 2);
    EXPECT_EQ(fields.outputChannels, 2);
    constexpr int32_t kFrames = 64;
    std::vector<float> inLeft(kFrames, 1.0f), inRight(kFrames, -1.0f), outLeft(kFrames), outRight(kFrames);
    float* inputs[2] = {inLeft.data(), inRight.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    int32_t frames = kFrames;
    // The host's own node and transport objects: plain tables of functions in the published
    // slot order, which the module's callback must call at exactly those slots.
    aaxhost::SlotTraps::Reset();
    FakeTransport transport;
    transport.playing = true;
    aaxhost::TransportObject transportObject(&transport);
    aaxhost::MidiNodeObject transportNode(AAX_eMIDINodeType_Transport, 4, &transportObject);
    aaxhost::MidiNodeObject midiInput(AAX_eMIDINodeType_LocalInput, 4);
    midiInput.Add(3, 0x90, 60, 100);
    AlgorithmContext context{};
    context.fields[kField_AudioIn] = inputs;
    context.fields[kField_InputChannels] = const_cast<int32_t*>(&fields.inputChannels);
    context.fields[kField_AudioOut] = outputs;
    context.fields[kField_OutputChannels] = const_cast<int32_t*>(&fields.outputChannels);
    context.fields[kField_BufferLength] = &frames;
    context.fields[kField_VstInterface] = const_cast<void**>(&fields.vstInterface);
    context.fields[kField_Loaded] = const_cast<int32_t*>(&fields.loaded);
    context.fields[kField_TransportNode] = transportNode.Binary();
    context.fields[kField_MidiInputNode] = midiInput.Binary();
    void* batch[1] = {&context};
    for (int block = 0; block < 3; ++block) process(batch, batch + 1);
    EXPECT_EQ(effect.CountKind(RecordedCall::Kind::ProcessReplacing), 3u);
    EXPECT_EQ(effect.CountOpcode(vst2::effProcessEvents), 3u);
    EXPECT_FLOAT_EQ(outLeft[10], 0.5f);
    EXPECT_FLOAT_EQ(outRight[10], -0.5f);
    EXPECT_EQ(transport.playingQueries, 3);
    EXPECT_EQ(transport.barBeatQueries, 3);
    EXPECT_EQ(midiInput.bufferRequests.load(), 3);
    const auto lastEvents = std::find_if(effect.calls.rbegin(), effect.calls.rend(), [](const RecordedCall& call) {
        return call.kind == RecordedCall::Kind::Dispatcher && call.opcode == vst2::effProcessEvents;
    });
    ASSERT_NE(lastEvents, effect.calls.rend());
    EXPECT_EQ(static_cast<uint8_t>(lastEvents->events[0].midiData[0]), 0x90);
    EXPECT_EQ(lastEvents->events[0].deltaFrames, 3);

    // A parameter object as the host reads it: through the data model's slot 16, its own slots,
    // and the slots of the string it returns.
    AAX_IParameter* timeParameter = nullptr;
    ASSERT_EQ(dataModel->GetParameter("Time", &timeParameter), AAX_SUCCESS);
    const aaxhost::module_slots::ParameterView time = aaxhost::module_slots::ReadParameter(timeParameter);
    EXPECT_EQ(time.identifier, "Time");
    EXPECT_EQ(time.name, "Time");
    EXPECT_TRUE(time.automatable);
    EXPECT_DOUBLE_EQ(time.normalized, 0.5);
    EXPECT_EQ(time.steps, 65u);
    EXPECT_EQ(time.type, AAX_eParameterType_Continuous);
    aaxhost::TextObject name;
    ASSERT_EQ(dataModel->GetParameterName("Mix", static_cast<AAX_IString*>(name.Binary())), AAX_SUCCESS);
    EXPECT_EQ(name.Str(), "Mix");
    EXPECT_EQ(aaxhost::SlotTraps::Count(), 0) << aaxhost::SlotTraps::Latest();

    // A value set by the host reaches the effect.
    ASSERT_EQ(dataModel->SetParameterNormalizedValue("Time", 0.25), AAX_SUCCESS);
    EXPECT_FLOAT_EQ(effect.ParameterValue(1), 0.25f);

    // Save, change, restore.
    int32_t chunkCount = 0;
    dataModel->GetNumberOfChunks(&chunkCount);
    ASSERT_EQ(chunkCount, 1);
    AAX_CTypeID chunkID = 0;
    ASSERT_EQ(dataModel->GetChunkIDFromIndex(0, &chunkID), AAX_SUCCESS);
    EXPECT_EQ(chunkID, 0x56746C44u);
    uint32_t chunkSize = 0;
    ASSERT_EQ(dataModel->GetChunkSize(chunkID, &chunkSize), AAX_SUCCESS);
    ASSERT_EQ(chunkSize, 5u);
    std::vector<char> record(AAX_PlugInChunkRecordSize(chunkSize));
    auto* chunk = reinterpret_cast<AAX_SPlugInChunk*>(record.data());
    ASSERT_EQ(dataModel->GetChunk(chunkID, chunk), AAX_SUCCESS);
    effect.SetChunk({0x00});
    ASSERT_EQ(dataModel->SetChunk(chunkID, chunk), AAX_SUCCESS);
    EXPECT_THAT(effect.receivedChunk, ElementsAre(0xDE, 0xAD, 0xBE, 0xEF, 0x01));
    bool equal = false;
    EXPECT_EQ(dataModel->CompareActiveChunk(chunk, &equal), AAX_SUCCESS);
    EXPECT_TRUE(equal);

    // The editor, opened in a native window and closed again.
    auto* gui = Query<AAX_IACFEffectGUI>(createGui(), IID_IAAXEffectGUIV1);
    ASSERT_NE(gui, nullptr);
    EXPECT_EQ(module.canUnloadNow(nullptr), 2);
    host.dataModel = dataModel;
    ASSERT_EQ(gui->Initialize(&host), AAX_SUCCESS);
    AAX_Point size{0.0f, 0.0f};
    ASSERT_EQ(gui->GetViewSize(&size), AAX_SUCCESS);
    EXPECT_FLOAT_EQ(size.horz, 320.0f);
    EXPECT_FLOAT_EQ(size.vert, 240.0f);
    int window = 0;
    HostViewContainer container(AAX_eViewContainer_Type_HWND, &window);
    effect.ClearRecords();
    ASSERT_EQ(gui->SetViewContainer(&container), AAX_SUCCESS);
    EXPECT_EQ(effect.CountOpcode(vst2::effEditOpen), 1u);
    EXPECT_EQ(gui->TimerWakeup(), AAX_SUCCESS);
    EXPECT_EQ(effect.CountOpcode(vst2::effEditIdle), 1u);
    AAX_Rect area{0.0f, 0.0f, 320.0f, 240.0f};
    EXPECT_EQ(gui->Draw(&area), AAX_SUCCESS);
    ASSERT_EQ(gui->SetViewContainer(nullptr), AAX_SUCCESS);
    EXPECT_EQ(effect.CountOpcode(vst2::effEditClose), 1u);
    ASSERT_EQ(gui->Uninitialize(), AAX_SUCCESS);
    EXPECT_EQ(gui->Release(), 0u);

    // Teardown: the last release closes the effect, and the module may be unloaded.
    ASSERT_EQ(dataModel->Uninitialize(), AAX_SUCCESS);
    EXPECT_EQ(dataModel->Release(), 0u);
    EXPECT_EQ(effect.calls.back().opcode, vst2::effClose);
    EXPECT_EQ(module.canUnloadNow(nullptr), 0);
    EXPECT_TRUE(host.host.AllReferencesReleased());
    EXPECT_EQ(host.RefCount(), 0);

    definition->Release();
    EXPECT_EQ(module.shutdown(nullptr), ACF_OK);
    EXPECT_EQ(descriptionHost.LiveComponents(), 0) << "the host services component went with shutdown";
    EXPECT_EQ(descriptionHost.HostReferences(), 0);
}

TEST(ModuleEndToEnd, WithoutTheEffectInstalledTheModuleStillRegistersAndDegrades) {
    testsupport::RegistrySandbox registry;  // no installation directory
    platform::LibraryHandle library = platform::LoadLibraryFile(ModulePath().c_str());
    ASSERT_NE(library, nullptr) << platform::LastLoadError();
    auto registerPlugin = Lookup<RegisterPluginFn>(library, "ACFRegisterPlugin");
    auto canUnloadNow = Lookup<CanUnloadNowFn>(library, "ACFCanUnloadNow");
    ASSERT_NE(registerPlugin, nullptr);
    ASSERT_NE(canUnloadNow, nullptr);

    RecordingDescriptionHost descriptionHost;
    IACFPluginDefinition* definition = nullptr;
    ASSERT_EQ(registerPlugin(&descriptionHost, &definition), ACF_OK);
    auto create = reinterpret_cast<AAX_CCreateObjectProc>(
        descriptionHost.Registered().effects.at(0).ProcPtr(kAAX_ProcPtrID_Create_EffectParameters));
    auto* dataModel = Query<AAX_IACFEffectParameters>(create(), IID_IAAXEffectParametersV1);
    ASSERT_NE(dataModel, nullptr);
    FakeGuiHost host;
    ASSERT_EQ(dataModel->Initialize(host.host.Unknown()), AAX_SUCCESS);
    int32_t parameterCount = -1;
    dataModel->GetNumberOfParameters(&parameterCount);
    EXPECT_EQ(parameterCount, 0);
    // The channel counts too, so the processing writes silence to every output.
    const PostedFields fields = CollectPosts(host.host.packets.Posts());
    EXPECT_EQ(fields.found, 3);
    EXPECT_EQ(fields.loaded, 0);
    EXPECT_EQ(fields.vstInterface, nullptr);
    EXPECT_EQ(fields.outputChannels, 2);
    dataModel->Uninitialize();
    EXPECT_EQ(dataModel->Release(), 0u);
    EXPECT_EQ(canUnloadNow(nullptr), 0);
    definition->Release();
    EXPECT_EQ(descriptionHost.LiveComponents(), 0);
}
