#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "interfaces/vst2.h"
#include "module/ModuleState.h"
#include "render/AlgorithmContext.h"
#include "support/ConcurrentEffect.h"
#include "support/FailingAllocations.h"
#include "wrapper/WrapperInstance.h"

using ::testing::ElementsAre;
using testsupport::HostAutomationCall;
using testsupport::FakeHost;
using wrappertest::DataModel;

namespace {

vst2::VstParameterProperties Properties(const char* label, const char* shortLabel, int32_t flags, int32_t stepInteger) {
    vst2::VstParameterProperties properties{};
    std::strncpy(properties.label, label, sizeof properties.label - 1);
    std::memcpy(properties.shortLabel, shortLabel, std::min(std::strlen(shortLabel), sizeof properties.shortLabel));
    properties.flags = flags;
    properties.stepInteger = stepInteger;
    return properties;
}

std::string Name(const DataModel& model, const char* id) {
    AAX_CString name;
    EXPECT_EQ(model->GetParameterName(id, &name), AAX_SUCCESS);
    return name.StdString();
}

int32_t Steps(const DataModel& model, const char* id) {
    int32_t steps = -1;
    EXPECT_EQ(model->GetParameterNumberOfSteps(id, &steps), AAX_SUCCESS);
    return steps;
}

AAX_EParameterType Type(const DataModel& model, const char* id) {
    AAX_EParameterType type = AAX_eParameterType_Continuous;
    EXPECT_EQ(model->GetParameterType(id, &type), AAX_SUCCESS);
    return type;
}

std::string ValueText(const DataModel& model, const char* id, double normalized) {
    AAX_CString text;
    EXPECT_EQ(model->GetParameterStringFromValue(id, normalized, &text, 32), AAX_SUCCESS);
    return text.StdString();
}

// "P" and the index: the identifiers of an effect with many parameters. (Formatted rather than
// concatenated: g++ 12 at -O3 warns wrongly about a string built as "P" + std::to_string.)
std::string Identifier(int32_t index) {
    char text[16];
    std::snprintf(text, sizeof text, "P%d", static_cast<int>(index));
    return text;
}

// The index and value of every setParameter the effect received, in order.
std::vector<std::pair<int32_t, float>> ValuesGiven(const RecordingEffect& effect) {
    std::vector<std::pair<int32_t, float>> given;
    for (const RecordedCall& call : effect.calls) {
        if (call.kind == RecordedCall::Kind::SetParameter) given.emplace_back(call.index, call.opt);
    }
    return given;
}

// The touch, value-request and release calls a parameter made, in order.
std::vector<std::string> Gestures(const FakeHost& host, const std::string& id) {
    std::vector<std::string> gestures;
    for (const HostAutomationCall& call : host.automation.EventsFor(id)) {
        if (call.operation == "SetValueRequest") {
            gestures.push_back("SetValueRequest " + std::to_string(call.value));
        } else if (call.operation == "Touch" || call.operation == "Release") {
            gestures.push_back(call.operation);
        }
    }
    return gestures;
}

class WrapperParameters : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(install.Ok()) << install.Error(); }

    TestEffectInstall install;
    RecordingEffect effect;
    FakeHost host;
};

}  // namespace

TEST_F(WrapperParameters, EffectWithoutParametersGetsOnlyTheMasterBypassWithAnEmptyIdentifier) {
    effect.SetNumParams(0);
    DataModel model(install, &effect);
    ASSERT_EQ(model->vstLoaded, 1);
    ASSERT_EQ(model.Initialize(host), AAX_SUCCESS);

    EXPECT_THAT(model.ParameterIds(), ElementsAre(""));
    AAX_CString bypassID("not empty");
    model->GetMasterBypassParameter(&bypassID);
    EXPECT_EQ(bypassID.StdString(), "");
    EXPECT_EQ(Name(model, ""), "Master Bypass");
    EXPECT_EQ(Steps(model, ""), 2);
    EXPECT_EQ(Type(model, ""), AAX_eParameterType_Discrete);
    EXPECT_EQ(ValueText(model, "", 0.0), "bypass");
    EXPECT_EQ(ValueText(model, "", 1.0), "on");
    EXPECT_TRUE(host.automation.IsRegistered(""));

    // The component base answers the unknown's identifier with its inner unknown, adding a
    // reference.
    void* unknown = nullptr;
    const int32_t references = model->GetRefCount();
    ASSERT_EQ(model->QueryInterface(IID_IACFUnknown, &unknown), ACF_OK);
    EXPECT_EQ(unknown, static_cast<void*>(model->GetInnerUnknown()));
    EXPECT_EQ(model->GetRefCount(), references + 1);
    static_cast<IACFUnknown*>(unknown)->Release();
    model->Uninitialize();
}

TEST_F(WrapperParameters, MirrorsEachKindOfEffectParameter) {
    // 0: no properties, so the name comes from effGetParamName.
    effect.SetParameterId(0, "Mix");
    effect.SetParameterName(0, "Dry/Wet");
    effect.SetParameterValue(0, 0.25f);
    // 1: a two-state switch.
    effect.SetParameterId(1, "Sync");
    effect.SetParameterProperties(1, Properties("Sync", "", vst2::kVstParameterIsSwitch, 2));
    effect.SetParameterValue(1, 1.0f);
    // 2: a switch with five states.
    effect.SetParameterId(2, "Mode");
    effect.SetParameterProperties(2, Properties("Mode", "Md", vst2::kVstParameterIsSwitch, 5));
    // 3: not a switch, whatever its step count says.
    effect.SetParameterId(3, "Time");
    effect.SetParameterProperties(3, Properties("Time", "Tm", 0, 7));
    effect.SetParameterValue(3, 0.5f);
    // 4: a label without a short label.
    effect.SetParameterId(4, "Tone");
    effect.SetParameterProperties(4, Properties("Tone", "", 0, 0));
    // 5: a short label that fills its field without a terminator.
    effect.SetParameterId(5, "Fb");
    effect.SetParameterProperties(5, Properties("Feedback", "Feedbck8", 0, 0));
    // 6 and 7: switches without two positions to step between; 8: a name filling all 256 bytes.
    for (const int32_t steps : {0, 1}) {
        effect.SetParameterId(6 + steps, steps == 0 ? "S0" : "S1");
        effect.SetParameterProperties(6 + steps, Properties("S", "", vst2::kVstParameterIsSwitch, steps));
    }
    effect.SetParameterId(8, "Long");
    effect.SetParameterName(8, std::string(300, 'n'));
    effect.SetNumParams(9);

    DataModel model(install, &effect);
    ASSERT_EQ(model.Initialize(host), AAX_SUCCESS);
    EXPECT_THAT(model.ParameterIds(), ElementsAre("", "Mix", "Sync", "Mode", "Time", "Tone", "Fb", "S0", "S1", "Long"));
    for (const char* id : {"S0", "S1"}) {
        EXPECT_EQ(Steps(model, id), 65) << id;
        EXPECT_EQ(Type(model, id), AAX_eParameterType_Continuous) << id;
    }
    EXPECT_EQ(Name(model, "Long"), std::string(255, 'n')) << "cut to the buffer, terminated";

    EXPECT_EQ(Name(model, "Mix"), "Dry/Wet");
    EXPECT_EQ(Steps(model, "Mix"), 65);
    EXPECT_EQ(Type(model, "Mix"), AAX_eParameterType_Continuous);
    EXPECT_EQ(ValueText(model, "Mix", 0.5), "0.50");
    double value = -1.0;
    double defaultValue = -1.0;
    model->GetParameterNormalizedValue("Mix", &value);
    model->GetParameterDefaultNormalizedValue("Mix", &defaultValue);
    EXPECT_DOUBLE_EQ(value, 0.25);
    EXPECT_DOUBLE_EQ(defaultValue, 0.25);

    EXPECT_EQ(Name(model, "Sync"), "Sync");
    EXPECT_EQ(Steps(model, "Sync"), 2);
    EXPECT_EQ(Type(model, "Sync"), AAX_eParameterType_Discrete);
    EXPECT_EQ(ValueText(model, "Sync", 0.0), "off");
    EXPECT_EQ(ValueText(model, "Sync", 1.0), "on");
    model->GetParameterNormalizedValue("Sync", &value);
    EXPECT_DOUBLE_EQ(value, 1.0);

    EXPECT_EQ(Name(model, "Mode"), "Mode\nMd");
    EXPECT_EQ(Steps(model, "Mode"), 5);
    EXPECT_EQ(Type(model, "Mode"), AAX_eParameterType_Continuous);

    EXPECT_EQ(Name(model, "Time"), "Time\nTm");
    EXPECT_EQ(Steps(model, "Time"), 65);
    AAX_CString shortName;
    model->GetParameterNameOfLength("Time", &shortName, 3);
    EXPECT_EQ(shortName.StdString(), "Tm");
    model->GetParameterDefaultNormalizedValue("Time", &defaultValue);
    EXPECT_DOUBLE_EQ(defaultValue, 0.5);

    EXPECT_EQ(Name(model, "Tone"), "Tone");
    EXPECT_EQ(Name(model, "Fb"), "Feedback\nFeedbck8");

    // Properties reported: no effGetParamName for those indices. Mirroring asks for every
    // identifier with a 32-byte buffer.
    const auto nameRequests = effect.CallsWithOpcode(vst2::effGetParamName);
    ASSERT_EQ(nameRequests.size(), 2u);
    EXPECT_EQ(nameRequests[0].index, 0);
    const auto idRequests = effect.CallsWithOpcode(vst2::effPrivateGetParameterId);
    ASSERT_EQ(idRequests.size(), 9u);
    for (const auto& request : idRequests) EXPECT_EQ(request.value, 32);
    // The host heard nothing of the values set before registration.
    EXPECT_TRUE(Gestures(host, "Mix").empty());
    model->Uninitialize();
}

TEST_F(WrapperParameters, InitialisationSendsRateMirrorsThenOpensAndPostsTheContextFields) {
    host.settings.sampleRate = 88199.9;
    host.controller.SetStemFormats(AAX_eStemFormat_Mono, AAX_eStemFormat_Stereo);
    effect.SetNumParams(2);
    effect.SetParameterId(0, "A");
    effect.SetParameterId(1, "B");
    effect.effect()->numInputs = 6;
    // An effect that asks for the rate whenever it is sent one: the request made inside the
    // callback's own send is not answered with a third.
    effect.OnOpcode(vst2::effSetSampleRate, {vst2::audioMasterGetSampleRate});
    DataModel model(install, &effect);
    ASSERT_EQ(model.Initialize(host), AAX_SUCCESS);

    const auto opcodes = effect.Opcodes();
    ASSERT_FALSE(opcodes.empty());
    EXPECT_EQ(opcodes.front(), vst2::effSetSampleRate);
    const auto rates = effect.CallsWithOpcode(vst2::effSetSampleRate);
    ASSERT_EQ(rates.size(), 2u);
    EXPECT_FLOAT_EQ(rates[0].opt, 88199.0f);
    EXPECT_FLOAT_EQ(rates[1].opt, 88199.9f);
    EXPECT_EQ(model->vstInterface->inputEntryCount, 6) << "room for every input the effect declares";
    EXPECT_EQ(model->vstInterface->outputEntryCount, 2);
    // Opened, told the block size once, then resumed.
    ASSERT_GE(opcodes.size(), 3u);
    EXPECT_THAT(std::vector<int32_t>(opcodes.end() - 3, opcodes.end()),
                ElementsAre(vst2::effOpen, vst2::effSetBlockSize, vst2::effMainsChanged));
    EXPECT_EQ(effect.CallsWithOpcode(vst2::effMainsChanged).at(0).value, 1);
    ASSERT_EQ(effect.CountOpcode(vst2::effSetBlockSize), 1u);
    EXPECT_EQ(effect.CallsWithOpcode(vst2::effSetBlockSize).at(0).value, VstInterface::kMaxBlockFrames);
    EXPECT_EQ(effect.CountKind(RecordedCall::Kind::GetParameter), 2u);

    const auto posts = host.packets.Posts();
    ASSERT_EQ(posts.size(), 4u);
    EXPECT_EQ(posts[0].fieldIndex, kField_InputChannels);
    EXPECT_EQ(posts[1].fieldIndex, kField_OutputChannels);
    EXPECT_EQ(posts[2].fieldIndex, kField_VstInterface);
    EXPECT_EQ(posts[3].fieldIndex, kField_Loaded);
    ASSERT_EQ(posts[0].payload.size(), 4u);
    ASSERT_EQ(posts[1].payload.size(), 4u);
    ASSERT_EQ(posts[2].payload.size(), 8u);
    ASSERT_EQ(posts[3].payload.size(), 4u);
    int32_t inputs = 0, outputs = 0, loaded = 0;
    VstInterface* instance = nullptr;
    std::memcpy(&inputs, posts[0].payload.data(), 4);
    std::memcpy(&outputs, posts[1].payload.data(), 4);
    std::memcpy(&instance, posts[2].payload.data(), 8);
    std::memcpy(&loaded, posts[3].payload.data(), 4);
    EXPECT_EQ(inputs, 1);
    EXPECT_EQ(outputs, 2);
    EXPECT_EQ(instance, model->vstInterface);
    EXPECT_EQ(loaded, 1);

    // The master bypass packet goes out on field 6 with the first coefficient generation.
    host.packets.ClearPosts();
    model->GenerateCoefficients();
    const auto bypassPosts = host.packets.Posts();
    ASSERT_EQ(bypassPosts.size(), 1u);
    EXPECT_EQ(bypassPosts[0].fieldIndex, kField_MasterBypass);
    EXPECT_EQ(bypassPosts[0].payload.size(), 4u);
    model->Uninitialize();
}

// Identifiers the host already knows (a duplicate, "MasterBypassID", none: the master bypass's
// empty one) are not mirrored again; the master bypass stays the parameter made for it, and a
// gesture reaches only the parameter mirrored for its own index.
TEST_F(WrapperParameters, IdentifiersTakenAlreadyAreNotMirroredAgainAndTheirGesturesReachNothing) {
    effect.SetNumParams(5);
    for (const int32_t index : {0, 1}) effect.SetParameterId(index, "Dup");
    effect.SetParameterName(0, "First");
    effect.SetParameterId(2, "MasterBypassID");
    effect.SetParameterId(4, "Mix");  // 3 answers no identifier
    DataModel model(install, &effect);
    ASSERT_EQ(model.Initialize(host), AAX_SUCCESS);
    EXPECT_THAT(model.ParameterIds(), ElementsAre("", "Dup", "Mix"));
    EXPECT_EQ(Name(model, "Dup"), "First");
    AAX_CString bypassID("not empty");
    model->GetMasterBypassParameter(&bypassID);
    EXPECT_EQ(bypassID.StdString(), "");
    effect.ClearRecords();
    EXPECT_EQ(model->UpdateParameterNormalizedValue("", 0.7, AAX_eUpdateSource_Unspecified), AAX_SUCCESS);
    EXPECT_EQ(model->UpdateParameterNormalizedValue("MasterBypassID", 0.7, AAX_eUpdateSource_Unspecified),
              AAX_ERROR_INVALID_PARAMETER_ID);
    EXPECT_EQ(effect.CallsWithOpcode(vst2::effSetBypass).at(0).value, 1);
    for (const int32_t index : {1, 2, 3, 0}) {
        host.automation.ClearEvents();
        effect.ClearRecords();
        for (const int32_t opcode : {vst2::audioMasterBeginEdit, vst2::audioMasterAutomate, vst2::audioMasterEndEdit}) {
            effect.CallHost({opcode, index, 0, nullptr, 0.6f});
        }
        // Index 0: touch, touch / value / release, release. Any other: nothing at all.
        const size_t heard = index == 0 ? Gestures(host, "Dup").size() : host.automation.Events().size();
        EXPECT_EQ(heard, index == 0 ? 5u : 0u) << index;
        EXPECT_EQ(ValuesGiven(effect).size(), index == 0 ? 1u : 0u) << index;
    }
    model->Uninitialize();
    // The refused parameters are deleted at once; the sanitizer build reports a leak otherwise.
}

TEST_F(WrapperParameters, HostValuesReachTheEffectByTheIndexItGivesForTheIdentifier) {
    effect.SetNumParams(3);
    effect.SetParameterId(0, "Mix");
    effect.SetParameterId(1, "Skipped");
    effect.SetCanBeAutomated(1, false);
    effect.SetParameterId(2, "Time");
    DataModel model(install, &effect);
    ASSERT_EQ(model.Initialize(host), AAX_SUCCESS);
    EXPECT_THAT(model.ParameterIds(), ElementsAre("", "Mix", "Time"));
    EXPECT_EQ(effect.CallsWithOpcode(vst2::effGetParameterProperties).size(), 2u)
        << "a parameter that cannot be automated is not asked anything further";

    int32_t changesBefore = -1;
    model->GetNumberOfChanges(&changesBefore);
    effect.ClearRecords();
    ASSERT_EQ(model->UpdateParameterNormalizedValue("Time", 0.75, AAX_eUpdateSource_Unspecified), AAX_SUCCESS);

    // Host index 2 but effect index 2 as well, because the index comes from the effect.
    const auto finds = effect.CallsWithOpcode(vst2::effPrivateFindParameterIndex);
    ASSERT_EQ(finds.size(), 1u);
    EXPECT_EQ(finds[0].text, "Time");
    ASSERT_EQ(effect.CountKind(RecordedCall::Kind::SetParameter), 1u);
    const auto& set = effect.calls.back();
    EXPECT_EQ(set.kind, RecordedCall::Kind::SetParameter);
    EXPECT_EQ(set.index, 2);
    EXPECT_FLOAT_EQ(set.opt, 0.75f);
    double stored = 0.0;
    model->GetParameterNormalizedValue("Time", &stored);
    EXPECT_DOUBLE_EQ(stored, 0.75);

    int32_t changesAfter = -1;
    model->GetNumberOfChanges(&changesAfter);
    EXPECT_EQ(changesAfter, changesBefore) << "routing does not count as a plug-in change";

    // An identifier no parameter has: nothing stored, nothing sent.
    effect.ClearRecords();
    EXPECT_EQ(model->UpdateParameterNormalizedValue("Nope", 0.5, AAX_eUpdateSource_Unspecified),
              AAX_ERROR_INVALID_PARAMETER_ID);
    EXPECT_TRUE(effect.calls.empty());

    // An identifier the effect does not know: the host parameter keeps the value, the effect
    // gets nothing.
    effect.SetParameterId(0, "Renamed");
    effect.ClearRecords();
    EXPECT_EQ(model->UpdateParameterNormalizedValue("Mix", 0.4, AAX_eUpdateSource_Unspecified), AAX_SUCCESS);
    EXPECT_EQ(effect.CountKind(RecordedCall::Kind::SetParameter), 0u);
    model->GetParameterNormalizedValue("Mix", &stored);
    EXPECT_NEAR(stored, 0.4, 1e-6);
    model->Uninitialize();
}

TEST_F(WrapperParameters, OnlyAnIndexThatIsOneOfTheEffectsOwnGetsTheValue) {
    effect.SetNumParams(3);
    effect.SetParameterId(1, "Time");
    DataModel model(install, &effect);
    ASSERT_EQ(model.Initialize(host), AAX_SUCCESS);

    constexpr intptr_t kFourGiB = static_cast<intptr_t>(1) << 32;
    // The effect's answer for the identifier, and the index that then gets the value (-1: none).
    const std::pair<intptr_t, int32_t> cases[] = {{2, 2},          {0, 0},          {3, -1},          {-1, -1},
                                                  {0x7FFFFFF0, -1}, {kFourGiB + 1, -1}, {1 - kFourGiB, -1}};
    for (const auto& [answer, index] : cases) {
        effect.SetAnswer(vst2::effPrivateFindParameterIndex, answer);
        effect.ClearRecords();
        model->UpdateParameterNormalizedValue("Time", 0.5, AAX_eUpdateSource_Unspecified);
        const auto given = ValuesGiven(effect);
        const auto expected = index < 0 ? decltype(given){} : decltype(given){{index, 0.5f}};
        EXPECT_EQ(given, expected) << answer;
    }
    model->Uninitialize();
}

TEST_F(WrapperParameters, EveryValueReachesTheEffectOnceWithOrWithoutHostAutomationAndItsEchoStops) {
    for (const bool hostAutomation : {true, false}) {
        SCOPED_TRACE(hostAutomation ? "host confirms requests" : "host offers no automation");
        FakeHost thisHost;
        thisHost.offers.automationDelegate = hostAutomation;
        RecordingEffect reporting;
        reporting.SetNumParams(2);
        reporting.SetParameterId(0, "Mix");
        reporting.SetParameterId(1, "Time");
        reporting.OnSetParameter(vst2::audioMasterAutomate);  // reports every value it is given
        DataModel model(install, &reporting);
        ASSERT_EQ(model.Initialize(thisHost), AAX_SUCCESS);
        reporting.ClearRecords();

        EXPECT_EQ(model->UpdateParameterNormalizedValue("Time", 0.75, AAX_eUpdateSource_Unspecified), AAX_SUCCESS);
        EXPECT_EQ(model->SetParameterNormalizedValue("Time", 0.5), AAX_SUCCESS);
        reporting.CallHost({vst2::audioMasterAutomate, 0, 0, nullptr, 0.25f});
        EXPECT_THAT(ValuesGiven(reporting), ElementsAre(std::pair(1, 0.75f), std::pair(1, 0.5f), std::pair(0, 0.25f)));
        model->Uninitialize();
    }
}

// Linked controls: every setParameter reports the next parameter round the cycle with the same
// value, from inside the call or later (as from an editor's tick). Each parameter reaches the
// host and the effect once, and a value the effect already holds is not confirmed to it again.
TEST_F(WrapperParameters, LinkedControlsSettleAfterOneRound) {
    for (int32_t variant = 0; variant < 8; ++variant) {
        const bool hostAutomation = (variant & 1) != 0, later = (variant & 2) != 0;
        const int32_t linked = (variant & 4) != 0 ? 4 : 2;
        SCOPED_TRACE(std::to_string(linked) + (hostAutomation ? " linked, host confirms" : " linked") + (later ? ", later" : ""));
        FakeHost thisHost;
        thisHost.offers.automationDelegate = hostAutomation;
        RecordingEffect cycle;
        cycle.SetNumParams(linked);
        std::vector<std::pair<int32_t, float>> once;
        for (int32_t index = 0; index < linked; ++index) {
            cycle.SetParameterId(index, Identifier(index));
            once.emplace_back(index, 0.5f);
        }
        cycle.OnSetParameter(vst2::audioMasterAutomate, 1);
        if (later) cycle.DeferReports();
        DataModel model(install, &cycle);
        ASSERT_EQ(model.Initialize(thisHost), AAX_SUCCESS);
        cycle.ClearRecords();

        ASSERT_EQ(model->SetParameterNormalizedValue("P0", 0.5), AAX_SUCCESS);
        int32_t flushes = 0;
        while (flushes <= 4 * linked && cycle.FlushReports() > 0) ++flushes;
        EXPECT_LE(flushes, linked);
        EXPECT_EQ(ValuesGiven(cycle), once);
        for (int32_t index = 0; hostAutomation && index < linked; ++index) {
            EXPECT_EQ(Gestures(thisHost, Identifier(index)).size(), 3u) << "one request for " << index;
        }
        cycle.ClearRecords();
        model->UpdateParameterNormalizedValue("P1", 0.5, AAX_eUpdateSource_Unspecified);
        EXPECT_TRUE(ValuesGiven(cycle).empty());
        model->Uninitialize();
    }
}

// The host's values follow the effect's display updates: at once on the main thread, from
// another thread at the next idle call there. Nothing goes back to the effect, which is known to
// hold the value read.
TEST_F(WrapperParameters, DisplayUpdatesBringTheEffectsValuesToTheHost) {
    effect.SetNumParams(1);
    effect.SetParameterId(0, "Mix");
    DataModel model(install, &effect);
    ASSERT_EQ(model.Initialize(host), AAX_SUCCESS);
    effect.ClearRecords();
    double shown = -1.0;
    for (const float value : {0.75f, 0.5f}) {
        const bool fromMainThread = value == 0.5f;
        effect.SetParameterValue(0, value);  // changed inside the effect, as by a preset it loads
        host.automation.ClearEvents();
        std::thread([&] { effect.CallHost({vst2::audioMasterUpdateDisplay}); }).join();
        if (fromMainThread) effect.CallHost({vst2::audioMasterUpdateDisplay});
        model->GetParameterNormalizedValue("Mix", &shown);
        EXPECT_EQ(shown == value, fromMainThread) << "only on the main thread at once";
        model->TimerWakeup();
        model->GetParameterNormalizedValue("Mix", &shown);
        EXPECT_EQ(shown, value);
        EXPECT_EQ(host.automation.Events(), (std::vector<HostAutomationCall>{{"CurrentValue", "Mix", value}}));
    }
    model->UpdateParameterNormalizedValue("Mix", 0.5, AAX_eUpdateSource_Unspecified);
    model->UpdateParameterNormalizedValue("Mix", 0.125, AAX_eUpdateSource_Unspecified);
    EXPECT_THAT(ValuesGiven(effect), ElementsAre(std::pair(0, 0.125f)));
    model->Uninitialize();
}

TEST_F(WrapperParameters, AtMostTheFirst4096ParametersAreMirroredOrWalked) {
    const int32_t declared = AAXWrapper_Parameters::kMaxMirroredParameters + 904;
    effect.SetNumParams(declared);
    for (int32_t index = 0; index < declared; ++index) effect.SetParameterId(index, Identifier(index));
    DataModel model(install, &effect);
    ASSERT_EQ(model.Initialize(host), AAX_SUCCESS);

    int32_t count = 0;
    model->GetNumberOfParameters(&count);
    EXPECT_EQ(count, 4097);
    AAX_CString last;
    model->GetParameterIDFromIndex(4096, &last);
    EXPECT_EQ(last.StdString(), "P4095");
    EXPECT_EQ(effect.CountOpcode(vst2::effCanBeAutomated), 4096u);

    effect.ClearRecords();
    effect.CallHost({vst2::audioMasterUpdateDisplay});
    EXPECT_EQ(effect.CountOpcode(vst2::effPrivateGetParameterId), 4096u);
    model->Uninitialize();
}

TEST_F(WrapperParameters, RunningOutOfMemoryWhileLoadingLeavesNothingBehind) {
    // The entry point answers null, so everything allocated is the module's own.
    install.SetMainHook(nullptr);
    AAX_IEffectParameters* warmUp = AAXWrapper_Parameters::Create();
    ASSERT_NE(warmUp, nullptr);
    warmUp->AddRef();
    warmUp->Release();

    const int32_t liveObjects = ACFLiveObjectCount();
    for (int64_t allowed = 0;; ++allowed) {
        SCOPED_TRACE(allowed);
        const int64_t blocks = testsupport::LiveAllocations();
        AAX_IEffectParameters* created = nullptr;
        bool triggered = false;
        {
            AllocationFailure failing(allowed);
            created = AAXWrapper_Parameters::Create();
            triggered = failing.Triggered();
        }
        if (created != nullptr) {
            EXPECT_EQ(static_cast<AAXWrapper_Parameters*>(created)->vstLoaded, 0);
            created->AddRef();
            created->Release();
        }
        EXPECT_EQ(testsupport::LiveAllocations(), blocks);
        EXPECT_EQ(ACFLiveObjectCount(), liveObjects);
        if (!triggered) break;
    }
}

TEST_F(WrapperParameters, MasterBypassIsSentAsEffSetBypassAboveZero) {
    DataModel model(install, &effect);
    ASSERT_EQ(model.Initialize(host), AAX_SUCCESS);
    effect.ClearRecords();

    for (const double value : {1.0, 0.0, 0.0001}) {
        ASSERT_EQ(model->UpdateParameterNormalizedValue("", value, AAX_eUpdateSource_Unspecified), AAX_SUCCESS);
    }
    const auto bypasses = effect.CallsWithOpcode(vst2::effSetBypass);
    ASSERT_EQ(bypasses.size(), 3u);
    EXPECT_EQ(bypasses[0].value, 1);
    EXPECT_EQ(bypasses[1].value, 0);
    EXPECT_EQ(bypasses[2].value, 1);
    for (const auto& call : bypasses) {
        EXPECT_EQ(call.index, 0);
        EXPECT_EQ(call.opt, 0.0f);
    }
    EXPECT_EQ(effect.CountOpcode(vst2::effPrivateFindParameterIndex), 0u);
    EXPECT_EQ(effect.CountKind(RecordedCall::Kind::SetParameter), 0u);
    model->Uninitialize();
}

TEST_F(WrapperParameters, EditorGesturesBecomeHostAutomationAndComeBackToTheEffect) {
    effect.SetNumParams(2);
    effect.SetParameterId(0, "Mix");
    effect.SetParameterId(1, "Time");
    DataModel model(install, &effect);
    ASSERT_EQ(model.Initialize(host), AAX_SUCCESS);
    host.automation.ClearEvents();
    effect.ClearRecords();

    effect.CallHost({vst2::audioMasterBeginEdit, 1, 0, nullptr, 0.0f});
    effect.CallHost({vst2::audioMasterAutomate, 1, 0, nullptr, 0.3f});
    effect.CallHost({vst2::audioMasterAutomate, 1, 0, nullptr, 0.6f});
    effect.CallHost({vst2::audioMasterEndEdit, 1, 0, nullptr, 0.0f});

    const std::string first = "SetValueRequest " + std::to_string(static_cast<double>(0.3f));
    const std::string second = "SetValueRequest " + std::to_string(static_cast<double>(0.6f));
    EXPECT_THAT(Gestures(host, "Time"),
                ElementsAre("Touch", "Touch", first, "Release", "Touch", second, "Release", "Release"));
    EXPECT_TRUE(Gestures(host, "Mix").empty());

    // The host settled each request, and the effect got its own value back once per request.
    EXPECT_THAT(ValuesGiven(effect), ElementsAre(std::pair(1, 0.3f), std::pair(1, 0.6f)));

    // A gesture on an index whose identifier names no host parameter changes nothing.
    host.automation.ClearEvents();
    effect.ClearRecords();
    effect.CallHost({vst2::audioMasterAutomate, 7, 0, nullptr, 0.9f});
    EXPECT_TRUE(host.automation.Events().empty());
    EXPECT_EQ(effect.CountKind(RecordedCall::Kind::SetParameter), 0u);
    model->Uninitialize();
}

TEST_F(WrapperParameters, DestructionClosesTheEffectLast) {
    {
        DataModel model(install, &effect);
        ASSERT_EQ(model.Initialize(host), AAX_SUCCESS);
        model->Uninitialize();
        EXPECT_EQ(effect.CountOpcode(vst2::effClose), 0u) << "Uninitialize does not close the effect";
    }
    ASSERT_FALSE(effect.calls.empty());
    EXPECT_EQ(effect.calls.back().opcode, vst2::effClose);
    EXPECT_EQ(effect.CountOpcode(vst2::effMainsChanged), 1u) << "no effMainsChanged(0) before closing";
    EXPECT_TRUE(host.AllReferencesReleased());
}

TEST_F(WrapperParameters, UnloadedEffectLeavesADegradedInstanceAndTheMessage) {
    const int32_t liveBefore = ACFLiveObjectCount();
    {
        DataModel model(install, nullptr);  // the entry point answers null
        ASSERT_NE(model.get(), nullptr);
        EXPECT_EQ(ACFLiveObjectCount(), liveBefore + 1);
        EXPECT_EQ(model->vstLoaded, 0);
        EXPECT_STREQ(AAXWrapper_LoadFailureMessage(),
                     "Unable to load Brenlock \n you should reinstall your VantreloDelay product");
        ASSERT_EQ(model.Initialize(host), AAX_SUCCESS);
        EXPECT_TRUE(model.ParameterIds().empty());

        // The channel counts let the processing write silence; no VstInterface.
        const auto posts = host.packets.Posts();
        ASSERT_EQ(posts.size(), 3u);
        EXPECT_EQ(posts[0].fieldIndex, kField_InputChannels);
        EXPECT_EQ(posts[1].fieldIndex, kField_OutputChannels);
        EXPECT_EQ(posts[2].fieldIndex, kField_Loaded);
        ASSERT_EQ(posts[2].payload.size(), 4u);
        int32_t loaded = -1;
        std::memcpy(&loaded, posts[2].payload.data(), 4);
        EXPECT_EQ(loaded, 0);

        int32_t chunks = 0;
        model->GetNumberOfChunks(&chunks);
        EXPECT_EQ(chunks, 1);
        AAX_CTypeID chunkID = 99;
        EXPECT_EQ(model->GetChunkIDFromIndex(0, &chunkID), AAX_SUCCESS);
        EXPECT_EQ(chunkID, 0u);
        uint32_t size = 1234;
        EXPECT_EQ(model->GetChunkSize(0, &size), AAX_ERROR_INVALID_CHUNK_ID);
        EXPECT_EQ(size, 1234u);
        std::vector<char> record(AAX_PlugInChunkRecordSize(16), 'x');
        auto* chunk = reinterpret_cast<AAX_SPlugInChunk*>(record.data());
        EXPECT_EQ(model->GetChunk(0, chunk), AAX_ERROR_INVALID_CHUNK_ID);
        EXPECT_EQ(record, std::vector<char>(AAX_PlugInChunkRecordSize(16), 'x'));
        chunk->fSize = 16;
        EXPECT_EQ(model->SetChunk(0, chunk), AAX_ERROR_INVALID_CHUNK_ID);
        EXPECT_EQ(model->UpdateParameterNormalizedValue("", 1.0, AAX_eUpdateSource_Unspecified),
                  AAX_ERROR_INVALID_PARAMETER_ID);
        model->Uninitialize();
    }
    EXPECT_EQ(ACFLiveObjectCount(), liveBefore);
    EXPECT_TRUE(effect.calls.empty());
}

TEST_F(WrapperParameters, ReinitialisedInstanceTellsTheEffectTheNewRateInTimeRequests) {
    DataModel model(install, &effect);
    ASSERT_EQ(model.Initialize(host), AAX_SUCCESS);
    effect.CallHost({vst2::audioMasterGetTime});
    ASSERT_TRUE(effect.hostReplies.back().hasTime);
    EXPECT_EQ(effect.hostReplies.back().time.sampleRate, 48000.0);
    model->Uninitialize();

    // The new controller wrapper may take the memory of the one just deleted.
    host.settings.sampleRate = 96000.0;
    ASSERT_EQ(model.Initialize(host), AAX_SUCCESS);
    effect.CallHost({vst2::audioMasterGetTime});
    ASSERT_TRUE(effect.hostReplies.back().hasTime);
    EXPECT_EQ(effect.hostReplies.back().time.sampleRate, 96000.0);
    model->Uninitialize();
}

TEST_F(WrapperParameters, AfterUninitializeTheEffectsRateAndTimeRequestsFindNoController) {
    DataModel model(install, &effect);
    ASSERT_EQ(model.Initialize(host), AAX_SUCCESS);
    model->Uninitialize();
    effect.ClearRecords();

    // The controller wrapper is gone; an effect that asks now (while it closes, say) must not
    // reach it.
    effect.CallHost({vst2::audioMasterGetSampleRate});
    const auto rates = effect.CallsWithOpcode(vst2::effSetSampleRate);
    ASSERT_EQ(rates.size(), 1u);
    EXPECT_EQ(rates[0].opt, 44100.0f);
    effect.CallHost({vst2::audioMasterGetTime});
    ASSERT_TRUE(effect.hostReplies.back().hasTime);
    EXPECT_EQ(effect.hostReplies.back().time.sampleRate, 44100.0);
}

namespace {

ConcurrentEffect* servedConcurrentEffect = nullptr;

vst2::AEffect* ServeConcurrentEffect(vst2::AudioMasterCallback hostCallback) {
    return servedConcurrentEffect->AttachHost(hostCallback);
}

}  // namespace

// Also run under ThreadSanitizer: parameter values, identifier requests, echo marks and the rate
// cache are shared between the host's thread and the effect's audio thread here.
TEST_F(WrapperParameters, TheEffectsAudioThreadAutomatesWhileTheHostChangesValues) {
    ConcurrentEffect concurrent;
    servedConcurrentEffect = &concurrent;
    install.SetMainHook(&ServeConcurrentEffect);
    host.offers.automationDelegate = false;  // each request is confirmed on the thread that makes it
    DataModel model(install, nullptr);
    ASSERT_EQ(model.Initialize(host), AAX_SUCCESS);
    const int64_t ratesAtInit = concurrent.sampleRatesReceived;

    constexpr int kRounds = 400;
    std::thread audio([&] {
        float samples[2][16] = {};
        float* channels[2] = {samples[0], samples[1]};
        for (int block = 0; block < kRounds; ++block) model->vstInterface->ProcessReplacing(channels, channels, 16);
    });
    for (int round = 0; round < kRounds; ++round) {
        const std::string id = Identifier(round % ConcurrentEffect::kParameters);
        model->UpdateParameterNormalizedValue(id.c_str(), 0.5, AAX_eUpdateSource_Unspecified);
        model->SetParameterNormalizedValue(id.c_str(), 0.25);
        concurrent.CallHost(round % 2 == 0 ? vst2::audioMasterUpdateDisplay : vst2::audioMasterGetSampleRate);
    }
    audio.join();

    // Each change, from either side, reached the effect exactly once.
    EXPECT_EQ(concurrent.setParameterCalls, 2 * kRounds + concurrent.processCalls);
    EXPECT_EQ(concurrent.sampleRatesReceived - ratesAtInit, kRounds / 2);
    EXPECT_EQ(concurrent.lastTimeSampleRate, 48000.0);
    model->Uninitialize();
}
