#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ScalarParameter.h"
#include "TestEffect.h"
#include "interfaces/aax_ids.h"
#include "support/virtual_slot.h"
#include "support/FakeHost.h"

using testsupport::FakeHost;
using testsupport::HostAutomationCall;

namespace {

std::string NameOfLength(AAX_CEffectParameters& effect, const char* id, int32_t length,
                         const char* initial = "") {
    AAX_CString out(initial);
    EXPECT_EQ(effect.GetParameterNameOfLength(id, &out, length), AAX_SUCCESS);
    return out.StdString();
}

double Normalized(AAX_CEffectParameters& effect, const char* id) {
    double value = -1.0;
    EXPECT_EQ(effect.GetParameterNormalizedValue(id, &value), AAX_SUCCESS);
    return value;
}

int32_t PayloadInt(const testsupport::PostedPacket& packet) {
    int32_t value = 0;
    if (packet.payload.size() == sizeof value) std::memcpy(&value, packet.payload.data(), sizeof value);
    return value;
}

}  // namespace

TEST(EffectParameters, EffectInitFollowsTheLastSlotOfTheInterface) {
    EXPECT_EQ(VirtualSlot(&AAX_CEffectParameters::EffectInit), 48);
    EXPECT_EQ(VirtualSlot(&AAX_CEffectParameters::UpdateControlMIDINodes), 47);
    EXPECT_EQ(VirtualSlot(&AAX_CEffectParameters::Initialize), 3);
    EXPECT_EQ(VirtualSlot(&AAX_CEffectParameters::UpdateParameterNormalizedValue), 29);
    EXPECT_EQ(VirtualSlot(&AAX_CEffectParameters::CompareActiveChunk), 38);
}

TEST(EffectParameters, AnswersBothInterfaceVersionsWithItselfAndCountsReferences) {
    bool destroyed = false;
    auto* effect = new TestEffect;
    effect->destroyed = &destroyed;
    AAX_IACFEffectParameters* asInterface = effect;

    void* v1 = nullptr;
    void* v2 = nullptr;
    void* unknown = nullptr;
    void* other = &destroyed;
    ASSERT_EQ(asInterface->QueryInterface(IID_IAAXEffectParametersV1, &v1), ACF_OK);
    EXPECT_EQ(v1, static_cast<void*>(asInterface));
    ASSERT_EQ(asInterface->QueryInterface(IID_IAAXEffectParametersV2, &v2), ACF_OK);
    EXPECT_EQ(v2, static_cast<void*>(static_cast<AAX_IACFEffectParameters_V2*>(effect)));
    ASSERT_EQ(asInterface->QueryInterface(IID_IACFUnknown, &unknown), ACF_OK);
    EXPECT_EQ(unknown, static_cast<void*>(effect->GetInnerUnknown()));
    EXPECT_EQ(asInterface->QueryInterface(IID_IAAXEffectGUIV1, &other), ACF_E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(effect->GetRefCount(), 3);

    static_cast<IACFUnknown*>(unknown)->Release();
    static_cast<AAX_IACFEffectParameters*>(v1)->Release();
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(static_cast<AAX_IACFEffectParameters_V2*>(v2)->Release(), 0u);
    EXPECT_TRUE(destroyed);
}

TEST(EffectParameters, InitializeWiresTheHostBeforeEffectInitAndUninitializeUndoesIt) {
    FakeHost host;
    TestEffect effect;
    effect.pending = {MakeFloatParameter("Gain", 0.5f), MakeBoolParameter("On", true)};
    bool wiredAtInit = false;
    effect.onInit = [&](TestEffect& self) {
        wiredAtInit = self.HoldsHostWrappers() && host.automation.IsRegistered("Gain");
    };

    ASSERT_EQ(effect.Initialize(host.Unknown()), AAX_SUCCESS);
    EXPECT_TRUE(wiredAtInit);
    EXPECT_EQ(effect.Filtered(), (std::set<std::string, std::less<>>{""}));  // no "MasterBypassID" parameter
    // Initialising again first undoes the first time: fresh parameters, and nothing of the first
    // wrappers left behind (checked after Uninitialize below).
    effect.pending = {MakeFloatParameter("Gain", 0.25f), MakeBoolParameter("On", true)};
    ASSERT_EQ(effect.Initialize(host.Unknown()), AAX_SUCCESS);
    EXPECT_EQ(Normalized(effect, "Gain"), 0.25);
    int32_t count = 0;
    effect.GetNumberOfParameters(&count);
    EXPECT_EQ(count, 2);

    host.automation.ClearEvents();
    ASSERT_EQ(effect.Uninitialize(), AAX_SUCCESS);
    const std::vector<HostAutomationCall> expected = {{"Unregister", "Gain", 0.0}, {"Unregister", "On", 0.0}};
    EXPECT_EQ(host.automation.Events(), expected);
    EXPECT_FALSE(effect.HoldsHostWrappers());
    EXPECT_TRUE(host.AllReferencesReleased());
    effect.GetNumberOfParameters(&count);
    EXPECT_EQ(count, 0);
    // The dispatcher no longer reaches the deleted controller.
    EXPECT_EQ(effect.GenerateCoefficients(), AAX_ERROR_NULL_OBJECT);
}

TEST(EffectParameters, AFailingEffectInitEndsInitializeAtOnce) {
    FakeHost host;
    TestEffect effect;
    effect.initResult = -42;
    EXPECT_EQ(effect.Initialize(host.Unknown()), -42);
    EXPECT_TRUE(effect.Filtered().empty());
    effect.Uninitialize();
}

TEST(EffectParameters, FiltersTheMasterBypassByItsIdentifier) {
    FakeHost host;
    TestEffect effect;
    effect.pending = {MakeBoolParameter("MasterBypassID", false)};
    ASSERT_EQ(effect.Initialize(host.Unknown()), AAX_SUCCESS);
    AAX_CString bypass;
    EXPECT_EQ(effect.GetMasterBypassParameter(&bypass), AAX_SUCCESS);
    EXPECT_EQ(bypass.StdString(), "MasterBypassID");
    EXPECT_EQ(effect.Filtered(), (std::set<std::string, std::less<>>{"MasterBypassID"}));
    effect.Uninitialize();
}

TEST(EffectParameters, ReleasesTheHostWhenDestroyedWithoutUninitialize) {
    FakeHost host;
    {
        TestEffect effect;
        effect.pending = {MakeFloatParameter("Gain", 0.5f)};
        ASSERT_EQ(effect.Initialize(host.Unknown()), AAX_SUCCESS);
        EXPECT_FALSE(host.AllReferencesReleased());
    }
    EXPECT_TRUE(host.AllReferencesReleased());
    EXPECT_FALSE(host.automation.IsRegistered("Gain"));
}

TEST(EffectParameters, ValueRequestsGoThroughTheHostWhenItOffersAutomation) {
    FakeHost host;
    TestEffect effect;
    effect.pending = {MakeFloatParameter("Gain", 0.5f)};
    ASSERT_EQ(effect.Initialize(host.Unknown()), AAX_SUCCESS);

    // The host has not answered yet: the value stays.
    host.automation.ClearEvents();
    EXPECT_EQ(effect.SetParameterNormalizedValue("Gain", 0.25), AAX_SUCCESS);
    EXPECT_EQ(Normalized(effect, "Gain"), 0.5);
    const std::vector<HostAutomationCall> request = {
        {"Touch", "Gain", 0.0}, {"SetValueRequest", "Gain", 0.25}, {"Release", "Gain", 0.0}};
    EXPECT_EQ(host.automation.Events(), request);
    EXPECT_EQ(effect.Changes(), 0);

    // Now it answers, as a host does, through UpdateParameterNormalizedValue.
    host.automation.SetDataModel(&effect);
    host.automation.ClearEvents();
    EXPECT_EQ(effect.SetParameterNormalizedValue("Gain", 0.25), AAX_SUCCESS);
    EXPECT_EQ(Normalized(effect, "Gain"), 0.25);
    EXPECT_EQ(host.automation.EventsFor("Gain").size(), 4u);  // touch, request, current value, release
    EXPECT_EQ(host.automation.Events()[2], (HostAutomationCall{"CurrentValue", "Gain", 0.25}));
    EXPECT_EQ(effect.Changes(), 1);
    effect.Uninitialize();
}

TEST(EffectParameters, WithoutHostAutomationAValueSetIsConfirmedAsTheHostWouldConfirmIt) {
    FakeHost host;
    host.offers.automationDelegate = false;
    TestEffect effect;
    effect.pending = {MakeFloatParameter("Gain", 0.5f)};
    effect.onInit = [](TestEffect& self) {
        const AAX_CPacketHandler<AAX_CPacketDispatcher> handler(&self.Dispatcher(),
                                                                &AAX_CPacketDispatcher::GenerateSingleValuePacket);
        self.Dispatcher().RegisterPacket("Gain", 2, &handler);
    };
    ASSERT_EQ(effect.Initialize(host.Unknown()), AAX_SUCCESS);
    ASSERT_EQ(effect.GenerateCoefficients(), AAX_SUCCESS);  // the packet's first post
    host.packets.ClearPosts();

    // Through slot 29: the value, the change count and the packet all follow.
    EXPECT_EQ(effect.SetParameterNormalizedValue("Gain", 0.75), AAX_SUCCESS);
    EXPECT_EQ(Normalized(effect, "Gain"), 0.75);
    EXPECT_EQ(effect.Changes(), 1);
    EXPECT_EQ(effect.GenerateCoefficients(), AAX_SUCCESS);
    const auto posts = host.packets.Posts();
    ASSERT_EQ(posts.size(), 1u);
    float posted = 0.0f;
    ASSERT_EQ(posts[0].payload.size(), sizeof posted);
    std::memcpy(&posted, posts[0].payload.data(), sizeof posted);
    EXPECT_EQ(posted, 0.75f);
    EXPECT_EQ(effect.TouchParameter("Gain"), AAX_SUCCESS);
    EXPECT_EQ(effect.ReleaseParameter("Gain"), AAX_SUCCESS);
    effect.Uninitialize();
    EXPECT_TRUE(host.AllReferencesReleased());
}

TEST(EffectParameters, AnswersTheSlotsThatReadOrChangeOneParameter) {
    FakeHost host;
    TestEffect effect;
    AAX_IParameter* gain = MakeFloatParameter("Gain", 0.5f);
    gain->SetOrientation(5);
    effect.pending = {gain, new ScalarParameter("Raw", ScalarParameter::Kind::Int32)};
    ASSERT_EQ(effect.Initialize(host.Unknown()), AAX_SUCCESS);
    host.automation.ClearEvents();

    bool automatable = false;
    EXPECT_EQ(effect.GetParameterIsAutomatable("Gain", &automatable), AAX_SUCCESS);  // 8
    EXPECT_TRUE(automatable);
    EXPECT_EQ(effect.GetParameterIsAutomatable("Raw", &automatable), AAX_SUCCESS);
    EXPECT_FALSE(automatable);
    EXPECT_EQ(effect.SetParameterDefaultNormalizedValue("Gain", 0.3), AAX_SUCCESS);  // 13
    double defaultValue = 0.0;
    EXPECT_EQ(effect.GetParameterDefaultNormalizedValue("Gain", &defaultValue), AAX_SUCCESS);
    EXPECT_FLOAT_EQ(static_cast<float>(defaultValue), 0.3f);
    EXPECT_EQ(Normalized(effect, "Gain"), 0.5) << "the default does not move the value";
    AAX_EParameterOrientation orientation = 0;
    EXPECT_EQ(effect.GetParameterOrientation("Gain", &orientation), AAX_SUCCESS);  // 15
    EXPECT_EQ(orientation, 5);
    EXPECT_EQ(effect.TouchParameter("Gain"), AAX_SUCCESS);    // 26
    EXPECT_EQ(effect.ReleaseParameter("Gain"), AAX_SUCCESS);  // 27
    const std::vector<HostAutomationCall> gesture = {{"Touch", "Gain", 0.0}, {"Release", "Gain", 0.0}};
    EXPECT_EQ(host.automation.Events(), gesture);

    uint8_t field[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(effect.ResetFieldData(6, field, 6), AAX_SUCCESS);  // 32
    EXPECT_EQ(std::vector<uint8_t>(field, field + 8), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 7, 8}));
    effect.Uninitialize();
}

TEST(EffectParameters, UnknownIdentifiersAnswerInvalidIdExceptForNames) {
    TestEffect effect;
    effect.Add(MakeFloatParameter("Gain", 0.5f));
    bool flag = true;
    int32_t number = 99;
    double value = 7.0;
    AAX_EParameterType type = AAX_eParameterType_Discrete;
    AAX_IParameter* parameter = effect.Parameter("Gain");
    AAX_CString text("keep");
    const std::vector<std::function<AAX_Result()>> queries = {
        [&] { return effect.GetParameterIsAutomatable("Nope", &flag); },
        [&] { return effect.GetParameterNumberOfSteps("Nope", &number); },
        [&] { return effect.GetParameterDefaultNormalizedValue("Nope", &value); },
        [&] { return effect.SetParameterDefaultNormalizedValue("Nope", 0.1); },
        [&] { return effect.GetParameterType("Nope", &type); },
        [&] { return effect.GetParameterOrientation("Nope", &number); },
        [&] { return effect.GetParameter("Nope", &parameter); },
        [&] { return effect.GetParameterValueFromString("Nope", &value, AAX_CString("0.5")); },
        [&] { return effect.GetParameterStringFromValue("Nope", 0.5, &text, 10); },
        [&] { return effect.GetParameterValueString("Nope", &text, 10); },
        [&] { return effect.GetParameterNormalizedValue("Nope", &value); },
        [&] { return effect.SetParameterNormalizedValue("Nope", 0.1); },
        [&] { return effect.SetParameterNormalizedRelative("Nope", 0.1); },
        [&] { return effect.TouchParameter("Nope"); },
        [&] { return effect.ReleaseParameter("Nope"); },
        [&] { return effect.UpdateParameterNormalizedValue("Nope", 0.1, 0); },
        [&] { return effect.UpdateParameterNormalizedRelative("Nope", 0.1); },
    };
    for (size_t i = 0; i < queries.size(); ++i) EXPECT_EQ(queries[i](), AAX_ERROR_INVALID_PARAMETER_ID) << i;
    EXPECT_FALSE(flag);  // set to false before the lookup
    EXPECT_EQ(parameter, nullptr);
    EXPECT_EQ(number, 99);
    EXPECT_EQ(value, 7.0);
    EXPECT_EQ(type, AAX_eParameterType_Discrete);
    EXPECT_EQ(text.StdString(), "keep");

    EXPECT_EQ(effect.GetParameterName("Nope", &text), AAX_SUCCESS);
    EXPECT_EQ(text.StdString(), "");
    text = "keep";
    EXPECT_EQ(effect.GetParameterNameOfLength("Nope", &text, 8), AAX_SUCCESS);
    EXPECT_EQ(text.StdString(), "");
}

TEST(EffectParameters, AddressesParametersByIndexWithinTheirCountOnly) {
    TestEffect effect;
    effect.Add(MakeFloatParameter("Gain", 0.5f));
    effect.Add(MakeBoolParameter("On", true));
    AAX_CString text;
    EXPECT_EQ(effect.GetParameterIDFromIndex(1, &text), AAX_SUCCESS);
    EXPECT_EQ(text.StdString(), "On");
    for (int32_t index : {-1, 2}) {
        text = "x";
        EXPECT_EQ(effect.GetParameterIDFromIndex(index, &text), AAX_ERROR_INVALID_PARAMETER_ID);
        EXPECT_EQ(text.StdString(), "");
    }
    int32_t index = 7;
    EXPECT_EQ(effect.GetParameterIndex("On", &index), AAX_SUCCESS);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(effect.GetParameterIndex("Nope", &index), AAX_ERROR_INVALID_PARAMETER_ID);
    EXPECT_EQ(index, -1);  // written even when not found
    int32_t info = 5;
    EXPECT_EQ(effect.GetParameterValueInfo("Gain", 0, &info), AAX_ERROR_UNIMPLEMENTED);
    EXPECT_EQ(info, 0);
}

TEST(EffectParameters, ConvertsTextsAndReportsFailedConversions) {
    TestEffect effect;
    effect.Add(MakeFloatParameter("Gain", 0.5f));
    effect.Add(new ScalarParameter("Raw", ScalarParameter::Kind::Int32));

    double value = -1.0;
    EXPECT_EQ(effect.GetParameterValueFromString("Gain", &value, AAX_CString("0.25")), AAX_SUCCESS);
    EXPECT_EQ(value, 0.25);
    value = -1.0;
    EXPECT_EQ(effect.GetParameterValueFromString("Gain", &value, AAX_CString("abc")),
              AAX_ERROR_INVALID_STRING_CONVERSION);
    EXPECT_EQ(effect.GetParameterValueFromString("Gain", &value, AAX_CString("5")),
              AAX_ERROR_INVALID_STRING_CONVERSION);  // out of range
    EXPECT_EQ(value, -1.0);

    AAX_CString text("keep");
    EXPECT_EQ(effect.GetParameterStringFromValue("Gain", 0.75, &text, 10), AAX_SUCCESS);
    EXPECT_EQ(text.StdString(), "0.75");
    text = "keep";
    EXPECT_EQ(effect.GetParameterStringFromValue("Raw", 0.75, &text, 10), AAX_ERROR_INVALID_STRING_CONVERSION);
    EXPECT_EQ(effect.GetParameterValueString("Raw", &text, 10), AAX_ERROR_INVALID_STRING_CONVERSION);
    EXPECT_EQ(text.StdString(), "keep");
}

TEST(EffectParameters, PicksTheLongestNameVariantThatFits) {
    TestEffect effect;
    effect.Add(MakeFloatParameter("Three", 0.0f, "NineChars\nFour\nTw"));
    effect.Add(MakeFloatParameter("Plain", 0.0f, "Feedback"));
    effect.Add(MakeFloatParameter("Ties", 0.0f, "abc\nxyz\nlonger"));
    effect.Add(MakeFloatParameter("Empty", 0.0f, ""));
    const std::string longName = std::string(250, 'a') + "\n" + std::string(20, 'b');
    effect.Add(MakeFloatParameter("Long", 0.0f, longName.c_str()));

    EXPECT_EQ(NameOfLength(effect, "Three", 5), "Four");
    EXPECT_EQ(NameOfLength(effect, "Three", 9), "NineChars");
    EXPECT_EQ(NameOfLength(effect, "Three", 2), "Tw");
    EXPECT_EQ(NameOfLength(effect, "Three", 1), "NineChars\nFour\nTw");  // none fits: all of it
    EXPECT_EQ(NameOfLength(effect, "Plain", 3), "Feedback");
    EXPECT_EQ(NameOfLength(effect, "Plain", 100), "Feedback");
    EXPECT_EQ(NameOfLength(effect, "Ties", 3), "abc");  // the first of equals
    EXPECT_EQ(NameOfLength(effect, "Empty", 8, "keep"), "keep");
    // Only the first 255 characters count: of the b line, 4 characters are inside them.
    EXPECT_EQ(NameOfLength(effect, "Long", 10), "bbbb");
    EXPECT_EQ(NameOfLength(effect, "Long", 3), longName);
}

TEST(EffectParameters, RelativeChangesClampToTheNormalizedRange) {
    TestEffect effect;
    effect.Add(MakeFloatParameter("A", 0.9f));
    effect.Add(MakeFloatParameter("B", 0.1f));
    EXPECT_EQ(effect.SetParameterNormalizedRelative("A", 0.3), AAX_SUCCESS);
    EXPECT_EQ(Normalized(effect, "A"), 1.0);
    EXPECT_EQ(effect.SetParameterNormalizedRelative("B", -0.5), AAX_SUCCESS);
    EXPECT_EQ(Normalized(effect, "B"), 0.0);

    effect.Add(MakeFloatParameter("C", 0.5f));
    EXPECT_EQ(effect.UpdateParameterNormalizedRelative("C", 0.25), AAX_SUCCESS);
    EXPECT_EQ(Normalized(effect, "C"), 0.75);
    EXPECT_EQ(effect.UpdateParameterNormalizedRelative("C", 5.0), AAX_SUCCESS);
    EXPECT_EQ(Normalized(effect, "C"), 1.0);
    EXPECT_EQ(effect.Changes(), 2);
}

TEST(EffectParameters, CountsOnlyUpdatesOfExistingParameters) {
    TestEffect effect;
    effect.Add(MakeFloatParameter("A", 0.0f));
    effect.Add(MakeBoolParameter("B", false));
    int32_t before = -1;
    effect.GetNumberOfChanges(&before);
    EXPECT_EQ(effect.UpdateParameterNormalizedValue("A", 0.5, 0), AAX_SUCCESS);
    EXPECT_EQ(effect.UpdateParameterNormalizedValue("B", 1.0, 0), AAX_SUCCESS);
    EXPECT_EQ(effect.UpdateParameterNormalizedValue("A", 0.5, 0), AAX_SUCCESS);
    EXPECT_EQ(effect.UpdateParameterNormalizedValue("Missing", 0.5, 0), AAX_ERROR_INVALID_PARAMETER_ID);
    int32_t after = -1;
    effect.GetNumberOfChanges(&after);
    EXPECT_EQ(after - before, 3);
    EXPECT_EQ(Normalized(effect, "A"), 0.5);

    // A negative count is not reported.
    effect.SetChanges(-1);
    int32_t reported = 77;
    EXPECT_EQ(effect.GetNumberOfChanges(&reported), AAX_SUCCESS);
    EXPECT_EQ(reported, 77);
}

TEST(EffectParameters, ChangeCountWrapsPastItsLargestValueAndIsThenNotReported) {
    TestEffect effect;
    effect.Add(MakeFloatParameter("A", 0.0f));
    effect.SetChanges(INT32_MAX);
    int32_t reported = 77;
    EXPECT_EQ(effect.GetNumberOfChanges(&reported), AAX_SUCCESS);
    EXPECT_EQ(reported, INT32_MAX);

    // One more update: the count wraps round to the most negative value (a defined wrap, not
    // signed overflow), which is left unreported.
    EXPECT_EQ(effect.UpdateParameterNormalizedValue("A", 0.5, 0), AAX_SUCCESS);
    EXPECT_EQ(effect.Changes(), INT32_MIN);
    reported = 77;
    EXPECT_EQ(effect.GetNumberOfChanges(&reported), AAX_SUCCESS);
    EXPECT_EQ(reported, 77);
}

TEST(EffectParameters, PreviewNotificationsDriveThePreviewParameter) {
    TestEffect effect;
    const int32_t on = 1;
    const int32_t off = 0;
    // Without a "PreviewID" parameter nothing happens.
    EXPECT_EQ(effect.NotificationReceived(AAX_eNotificationEvent_ASPreviewState, &on, sizeof on), AAX_SUCCESS);

    effect.Add(MakeBoolParameter("PreviewID", false));
    effect.Add(MakeBoolParameter("Other", false));
    bool previewing = false;
    EXPECT_EQ(effect.NotificationReceived(AAX_eNotificationEvent_ASPreviewState, &on, sizeof on), AAX_SUCCESS);
    effect.Parameter("PreviewID")->GetValueAsBool(&previewing);
    EXPECT_TRUE(previewing);
    EXPECT_EQ(effect.NotificationReceived(AAX_eNotificationEvent_ASPreviewState, &off, sizeof off), AAX_SUCCESS);
    effect.Parameter("PreviewID")->GetValueAsBool(&previewing);
    EXPECT_FALSE(previewing);

    // Too short a payload, or another notification, changes nothing.
    const uint16_t shortData = 1;
    EXPECT_EQ(effect.NotificationReceived(AAX_eNotificationEvent_ASPreviewState, &shortData, sizeof shortData), AAX_SUCCESS);
    EXPECT_EQ(effect.NotificationReceived(AAX_eNotificationEvent_ASPreviewState, nullptr, 4), AAX_SUCCESS);
    EXPECT_EQ(effect.NotificationReceived(AAX_FourCC('A', 'S', 'P', 'x'), &on, sizeof on), AAX_SUCCESS);
    effect.Parameter("PreviewID")->GetValueAsBool(&previewing);
    EXPECT_FALSE(previewing);
    bool other = true;
    effect.Parameter("Other")->GetValueAsBool(&other);
    EXPECT_FALSE(other);
}

TEST(EffectParameters, PostsSingleValuePacketsOfEachKindOnGenerateCoefficients) {
    FakeHost host;
    TestEffect effect;
    auto* raw = new ScalarParameter("Raw", ScalarParameter::Kind::Int32);
    raw->intValue = -5;
    auto* fine = new ScalarParameter("Fine", ScalarParameter::Kind::Double);
    fine->doubleValue = 0.125;
    effect.pending = {MakeBoolParameter("Bypass", true), MakeFloatParameter("Gain", 0.25f), raw, fine,
                      new ScalarParameter("Label", ScalarParameter::Kind::String)};
    host.automation.SetDataModel(&effect);
    effect.onInit = [](TestEffect& self) {
        const AAX_CPacketHandler<AAX_CPacketDispatcher> handler(&self.Dispatcher(),
                                                                &AAX_CPacketDispatcher::GenerateSingleValuePacket);
        self.Dispatcher().RegisterPacket("Bypass", 6, &handler);
        self.Dispatcher().RegisterPacket("Gain", 2, &handler);
        self.Dispatcher().RegisterPacket("Raw", 3, &handler);
        self.Dispatcher().RegisterPacket("Fine", 4, &handler);
        self.Dispatcher().RegisterPacket("Label", 5, &handler);  // no numeric value: never posted
        self.Dispatcher().RegisterPacket("Gone", 9, &handler);   // no such parameter: never posted
    };
    ASSERT_EQ(effect.Initialize(host.Unknown()), AAX_SUCCESS);

    // Right after registration every packet is dirty.
    EXPECT_EQ(effect.GenerateCoefficients(), AAX_SUCCESS);
    auto posts = host.packets.Posts();
    ASSERT_EQ(posts.size(), 4u);
    // In identifier byte order: Bypass, Fine, Gain, Raw.
    EXPECT_EQ(posts[0].fieldIndex, 6u);
    EXPECT_EQ(posts[0].payload, (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(posts[1].fieldIndex, 4u);
    ASSERT_EQ(posts[1].payload.size(), 8u);
    double fineValue = 0.0;
    std::memcpy(&fineValue, posts[1].payload.data(), 8);
    EXPECT_EQ(fineValue, 0.125);
    EXPECT_EQ(posts[2].fieldIndex, 2u);
    ASSERT_EQ(posts[2].payload.size(), 4u);
    float gainValue = 0.0f;
    std::memcpy(&gainValue, posts[2].payload.data(), 4);
    EXPECT_EQ(gainValue, 0.25f);
    EXPECT_EQ(posts[3].fieldIndex, 3u);
    EXPECT_EQ(PayloadInt(posts[3]), -5);

    // A settled update marks only that parameter's packet dirty.
    host.packets.ClearPosts();
    EXPECT_EQ(effect.GenerateCoefficients(), AAX_SUCCESS);
    EXPECT_TRUE(host.packets.Posts().empty());
    EXPECT_EQ(effect.SetParameterNormalizedValue("Bypass", 0.0), AAX_SUCCESS);
    EXPECT_EQ(effect.GenerateCoefficients(), AAX_SUCCESS);
    posts = host.packets.Posts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].fieldIndex, 6u);
    EXPECT_EQ(PayloadInt(posts[0]), 0);
    effect.Uninitialize();
}
