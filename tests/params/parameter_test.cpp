#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "params/AAX_CBinaryDisplayDelegate.h"
#include "params/AAX_CBinaryTaperDelegate.h"
#include "params/AAX_CLinearTaperDelegate.h"
#include "params/AAX_CNumberDisplayDelegate.h"
#include "params/AAX_CParameter.h"
#include "support/RecordingAutomationDelegate.h"

using ::testing::ElementsAre;
using testsupport::AutomationCall;
using testsupport::RecordingAutomationDelegate;

namespace {

using FloatParameter = AAX_CParameter<float>;
using BoolParameter = AAX_CParameter<bool>;

std::unique_ptr<FloatParameter> MakeFloat(const char* id = "delay", float defaultValue = 0.0f,
                                          float minimum = 0.0f, float maximum = 1.0f) {
    const AAX_CLinearTaperDelegate<float, 0> taper(minimum, maximum);
    const AAX_CNumberDisplayDelegate<float, 2, 0> display;
    return std::make_unique<FloatParameter>(id, AAX_CString("Delay Time"), defaultValue, taper,
                                            display, true);
}

std::unique_ptr<BoolParameter> MakeBool(const char* id = "switch", bool defaultValue = false) {
    const AAX_CBinaryTaperDelegate<bool> taper;
    const AAX_CBinaryDisplayDelegate<bool> display("off", "on");
    return std::make_unique<BoolParameter>(id, AAX_CString("Switch"), defaultValue, taper, display,
                                           true);
}

float ValueOf(const FloatParameter& parameter) {
    float value = -999.0f;
    EXPECT_TRUE(parameter.GetValueAsFloat(&value));
    return value;
}

bool ValueOf(const BoolParameter& parameter) {
    bool value = false;
    EXPECT_TRUE(parameter.GetValueAsBool(&value));
    return value;
}

AutomationCall Call(const char* operation, const char* id, double value = 0.0) {
    return AutomationCall{operation, id, value};
}

}  // namespace

TEST(Parameter, StoresIdentifierCutTo31Characters) {
    const std::string forty = "abcdefghijklmnopqrstuvwxyz0123456789ABCD";
    ASSERT_EQ(forty.size(), 40u);
    const auto longId = MakeFloat(forty.c_str());
    EXPECT_EQ(std::string(longId->Identifier()), forty.substr(0, 31));

    const std::string exactly31 = forty.substr(0, 31);
    EXPECT_EQ(std::string(MakeFloat(exactly31.c_str())->Identifier()), exactly31);

    EXPECT_STREQ(MakeFloat("")->Identifier(), "");
    EXPECT_STREQ(MakeFloat(nullptr)->Identifier(), "");
}

TEST(Parameter, StartsContinuousWith128StepsAtItsDefault) {
    const auto parameter = MakeFloat("delay", 0.3f);
    EXPECT_EQ(parameter->GetNumberOfSteps(), 128u);
    EXPECT_EQ(parameter->GetType(), AAX_eParameterType_Continuous);
    EXPECT_EQ(parameter->GetOrientation(), AAX_eParameterOrientation_Default);
    EXPECT_TRUE(parameter->Automatable());
    EXPECT_STREQ(parameter->Name().Get(), "Delay Time");
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 0.3f);
    EXPECT_DOUBLE_EQ(parameter->GetNormalizedDefaultValue(), static_cast<double>(0.3f));

    parameter->SetType(AAX_eParameterType_Discrete);
    EXPECT_EQ(parameter->GetType(), AAX_eParameterType_Discrete);
    EXPECT_EQ(parameter->GetNumberOfSteps(), 128u);
    parameter->SetNumberOfSteps(65);
    EXPECT_EQ(parameter->GetNumberOfSteps(), 65u);
    parameter->SetOrientation(7);
    EXPECT_EQ(parameter->GetOrientation(), 7);

    // A default outside the range is constrained on its way to the value.
    EXPECT_FLOAT_EQ(ValueOf(*MakeFloat("delay", 2.0f)), 1.0f);
}

TEST(Parameter, WithoutDelegateValueChangesAtOnce) {
    const auto parameter = MakeFloat();
    parameter->SetNormalizedValue(0.25);
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 0.25f);
    EXPECT_DOUBLE_EQ(parameter->GetNormalizedValue(), 0.25);

    parameter->SetValue(7.0f);  // clamped through the taper
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 1.0f);

    parameter->Touch();  // nothing to report to
    parameter->Release();
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 1.0f);
}

TEST(Parameter, WithDelegateValueChangeIsARequestBetweenTouchAndRelease) {
    RecordingAutomationDelegate host;
    const auto parameter = MakeFloat("delay");
    parameter->SetAutomationDelegate(&host);
    EXPECT_THAT(host.Calls(), ElementsAre(Call("RegisterParameter", "delay")));
    host.ClearCalls();

    parameter->SetNormalizedValue(0.25);
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 0.0f);  // waits for the host
    EXPECT_THAT(host.Calls(), ElementsAre(Call("PostTouchRequest", "delay"),
                                          Call("PostSetValueRequest", "delay", 0.25),
                                          Call("PostReleaseRequest", "delay")));

    // Every plug-in side write path behaves the same.
    host.ClearCalls();
    EXPECT_TRUE(parameter->SetValueWithFloat(0.5f));
    parameter->SetToDefaultValue();
    parameter->SetNumberOfSteps(3);
    parameter->SetStepValue(1);
    EXPECT_TRUE(parameter->SetValueFromString(AAX_CString("0.75")));
    EXPECT_THAT(host.Operations(),
                ElementsAre("PostTouchRequest", "PostSetValueRequest", "PostReleaseRequest",
                            "PostTouchRequest", "PostSetValueRequest", "PostReleaseRequest",
                            "PostTouchRequest", "PostSetValueRequest", "PostReleaseRequest",
                            "PostTouchRequest", "PostSetValueRequest", "PostReleaseRequest"));
    EXPECT_DOUBLE_EQ(host.Calls()[1].value, static_cast<double>(0.5f));
    EXPECT_DOUBLE_EQ(host.Calls()[4].value, 0.0);
    EXPECT_DOUBLE_EQ(host.Calls()[7].value, 0.5);
    EXPECT_DOUBLE_EQ(host.Calls()[10].value, 0.75);
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 0.0f);
}

TEST(Parameter, HostAnswerDuringRequestStoresAndReportsTheValue) {
    FloatParameter* answered = nullptr;
    RecordingAutomationDelegate host([&](AAX_CParamID, double normalized) {
        answered->UpdateNormalizedValue(normalized);
    });
    const auto parameter = MakeFloat("delay");
    answered = parameter.get();
    parameter->SetAutomationDelegate(&host);
    host.ClearCalls();

    parameter->SetNormalizedValue(0.25);
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 0.25f);
    EXPECT_THAT(host.Calls(), ElementsAre(Call("PostTouchRequest", "delay"),
                                          Call("PostSetValueRequest", "delay", 0.25),
                                          Call("PostCurrentValue", "delay", 0.25),
                                          Call("PostReleaseRequest", "delay")));
}

TEST(Parameter, UpdateReportsOnlyChangesAndPassesTheIncomingNormalizedValue) {
    RecordingAutomationDelegate host;
    const auto parameter = MakeFloat("delay", 0.5f);
    parameter->SetAutomationDelegate(&host);
    host.ClearCalls();

    parameter->UpdateNormalizedValue(0.5);  // the stored value: nothing to do
    EXPECT_TRUE(host.Calls().empty());

    // Clamped to 1.0, but the host's own 1.7 is what is reported back.
    parameter->UpdateNormalizedValue(1.7);
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 1.0f);
    EXPECT_THAT(host.Calls(), ElementsAre(Call("PostCurrentValue", "delay", 1.7)));

    host.ClearCalls();
    parameter->UpdateNormalizedValue(1.0);
    EXPECT_TRUE(host.Calls().empty());
}

TEST(Parameter, TaperChangePreservingValueReportsTheNextConfirmationEvenIfUnchanged) {
    RecordingAutomationDelegate host;
    const auto parameter = MakeFloat("delay", 0.5f);
    parameter->SetAutomationDelegate(&host);
    host.ClearCalls();

    AAX_CLinearTaperDelegate<float> wider(0.0f, 2.0f);
    parameter->SetTaperDelegate(wider, true);
    EXPECT_THAT(host.Calls(), ElementsAre(Call("PostTouchRequest", "delay"),
                                          Call("PostSetValueRequest", "delay", 0.25),
                                          Call("PostReleaseRequest", "delay")));
    EXPECT_DOUBLE_EQ(parameter->GetNormalizedValue(), 0.25);

    host.ClearCalls();
    parameter->UpdateNormalizedValue(0.25);  // same real value 0.5, still reported once
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 0.5f);
    EXPECT_THAT(host.Calls(), ElementsAre(Call("PostCurrentValue", "delay", 0.25)));

    host.ClearCalls();
    parameter->UpdateNormalizedValue(0.25);
    EXPECT_TRUE(host.Calls().empty());
}

TEST(Parameter, TaperChangeWithoutPreservingKeepsTheNormalizedPosition) {
    RecordingAutomationDelegate host;
    const auto parameter = MakeFloat("delay", 0.5f);
    parameter->SetAutomationDelegate(&host);
    host.ClearCalls();

    {
        // The parameter keeps its own clone; the argument may go away.
        AAX_CLinearTaperDelegate<float> decade(0.0f, 10.0f);
        parameter->SetTaperDelegate(decade, false);
    }
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 5.0f);
    EXPECT_THAT(host.Calls(), ElementsAre(Call("PostCurrentValue", "delay", 0.5)));
    EXPECT_DOUBLE_EQ(parameter->GetNormalizedValue(), 0.5);
    parameter->UpdateNormalizedValue(0.9);
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 9.0f);

    // Without a delegate the value is recomputed at once as well.
    const auto alone = MakeFloat("alone", 0.5f);
    AAX_CLinearTaperDelegate<float> shifted(-1.0f, 1.0f);
    alone->SetTaperDelegate(shifted, false);
    EXPECT_FLOAT_EQ(ValueOf(*alone), 0.0f);
}

TEST(Parameter, DelegatesOfTheWrongValueTypeAreIgnored) {
    RecordingAutomationDelegate host;
    const auto parameter = MakeFloat("delay", 0.5f);
    parameter->SetAutomationDelegate(&host);
    host.ClearCalls();

    AAX_CBinaryTaperDelegate<bool> onOffTaper;
    parameter->SetTaperDelegate(onOffTaper, false);
    AAX_CBinaryDisplayDelegate<bool> onOffDisplay("off", "on");
    parameter->SetDisplayDelegate(onOffDisplay);

    EXPECT_TRUE(host.Calls().empty());
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 0.5f);
    EXPECT_DOUBLE_EQ(parameter->GetNormalizedValue(), 0.5);
    AAX_CString text;
    EXPECT_TRUE(parameter->GetValueString(&text));
    EXPECT_STREQ(text.Get(), "0.50");
}

TEST(Parameter, DisplayChangeReportsTheCurrentValue) {
    RecordingAutomationDelegate host;
    const auto parameter = MakeBool("switch", true);
    parameter->SetAutomationDelegate(&host);
    host.ClearCalls();
    {
        AAX_CBinaryDisplayDelegate<bool> words("no", "yes");
        parameter->SetDisplayDelegate(words);
    }
    EXPECT_THAT(host.Calls(), ElementsAre(Call("PostCurrentValue", "switch", 1.0)));
    AAX_CString text;
    EXPECT_TRUE(parameter->GetValueString(&text));
    EXPECT_STREQ(text.Get(), "yes");
}

TEST(Parameter, AutomationDelegateSwapUnregistersThenRegisters) {
    RecordingAutomationDelegate first;
    RecordingAutomationDelegate second;
    {
        const auto parameter = MakeFloat("delay");
        parameter->SetAutomationDelegate(&first);
        parameter->SetAutomationDelegate(&second);
        parameter->SetAutomationDelegate(nullptr);
        parameter->SetNormalizedValue(0.75);  // no delegate: stored at once
        EXPECT_FLOAT_EQ(ValueOf(*parameter), 0.75f);
        parameter->SetAutomationDelegate(&second);
    }
    EXPECT_THAT(first.Calls(), ElementsAre(Call("RegisterParameter", "delay"),
                                           Call("UnregisterParameter", "delay")));
    EXPECT_THAT(second.Calls(), ElementsAre(Call("RegisterParameter", "delay"),
                                            Call("UnregisterParameter", "delay"),
                                            Call("RegisterParameter", "delay"),
                                            Call("UnregisterParameter", "delay")));
}

TEST(Parameter, StepsDivideByTheStepSize) {
    const auto parameter = MakeFloat();
    parameter->SetNumberOfSteps(2);
    parameter->SetNormalizedValue(0.5);
    EXPECT_EQ(parameter->GetStepValue(), 1u);
    parameter->SetNormalizedValue(0.49);
    EXPECT_EQ(parameter->GetStepValue(), 0u);

    // 0.5 / (1/99) + 0.5 falls just short of 50 in double arithmetic; multiplying by 99
    // instead would give 50.
    parameter->SetNumberOfSteps(100);
    parameter->SetNormalizedValue(0.5);
    EXPECT_EQ(parameter->GetStepValue(), 49u);

    parameter->SetNumberOfSteps(5);
    parameter->SetStepValue(2);
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 0.5f);
    EXPECT_EQ(parameter->GetStepValue(), 2u);
    parameter->SetStepValue(40);  // clamped to the last step
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 1.0f);
    EXPECT_EQ(parameter->GetStepValue(), 4u);
    parameter->SetStepValue(0);
    EXPECT_EQ(parameter->GetStepValue(), 0u);
}

TEST(Parameter, FewerThanTwoStepsHaveNoSteps) {
    for (uint32_t steps : {0u, 1u}) {
        const auto parameter = MakeFloat("delay", 0.75f);
        parameter->SetNumberOfSteps(steps);
        EXPECT_EQ(parameter->GetStepValue(), 0u);
        parameter->SetStepValue(1);
        EXPECT_FLOAT_EQ(ValueOf(*parameter), 0.75f) << steps << " steps";
    }
}

TEST(Parameter, ShortenedNamePicksTheLongestThatFits) {
    const AAX_CLinearTaperDelegate<float> taper(0.0f, 1.0f);
    const AAX_CNumberDisplayDelegate<float> display;
    FloatParameter parameter("fb", AAX_CString("FeedbackGain"), 0.0f, taper, display, true);
    ASSERT_EQ(parameter.Name().Length(), 12u);

    EXPECT_STREQ(parameter.ShortenedName(3).Get(), "FeedbackGain");  // none added yet
    parameter.AddShortenedName(AAX_CString("FdbkGain"));
    parameter.AddShortenedName(AAX_CString("Fdbk"));

    EXPECT_STREQ(parameter.ShortenedName(-1).Get(), "Fdbk");
    EXPECT_STREQ(parameter.ShortenedName(3).Get(), "Fdbk");
    for (int32_t c = 4; c <= 7; ++c) EXPECT_STREQ(parameter.ShortenedName(c).Get(), "Fdbk") << c;
    for (int32_t c = 8; c <= 11; ++c) EXPECT_STREQ(parameter.ShortenedName(c).Get(), "FdbkGain") << c;
    EXPECT_STREQ(parameter.ShortenedName(12).Get(), "FeedbackGain");
    EXPECT_STREQ(parameter.ShortenedName(1000).Get(), "FeedbackGain");

    parameter.AddShortenedName(AAX_CString("FB-G"));  // same length replaces
    EXPECT_STREQ(parameter.ShortenedName(5).Get(), "FB-G");

    parameter.SetName(AAX_CString("Feedback"));  // keeps the shortened names
    EXPECT_STREQ(parameter.ShortenedName(7).Get(), "FB-G");
    EXPECT_STREQ(parameter.ShortenedName(8).Get(), "Feedback");

    parameter.ClearShortenedNames();
    EXPECT_STREQ(parameter.ShortenedName(3).Get(), "Feedback");
}

TEST(Parameter, ValueStringIgnoresTheLimitButConversionHonoursIt) {
    const auto parameter = MakeFloat("delay", 0.25f);
    AAX_CString limited;
    AAX_CString full;
    EXPECT_TRUE(parameter->GetValueString(3, &limited));
    EXPECT_TRUE(parameter->GetValueString(&full));
    EXPECT_STREQ(limited.Get(), "0.25");
    EXPECT_STREQ(full.Get(), "0.25");

    AAX_CString converted;
    EXPECT_TRUE(parameter->GetStringFromNormalizedValue(0.126, 3, converted));
    EXPECT_STREQ(converted.Get(), "0.1");
    EXPECT_TRUE(parameter->GetStringFromNormalizedValue(0.126, converted));
    EXPECT_STREQ(converted.Get(), "0.13");
    EXPECT_TRUE(parameter->GetStringFromNormalizedValue(1.5, converted));  // taper clamps
    EXPECT_STREQ(converted.Get(), "1.00");

    EXPECT_FALSE(parameter->GetValueString(nullptr));
}

TEST(Parameter, TextToNormalizedChecksTheRangeAfterWriting) {
    const auto parameter = MakeFloat("delay", 0.0f, -10.0f, 10.0f);
    double normalized = -1.0;
    EXPECT_TRUE(parameter->GetNormalizedValueFromString(AAX_CString("5"), &normalized));
    EXPECT_DOUBLE_EQ(normalized, 0.75);

    normalized = -1.0;
    EXPECT_FALSE(parameter->GetNormalizedValueFromString(AAX_CString("20 ms"), &normalized));
    EXPECT_DOUBLE_EQ(normalized, 1.0);  // written, then reported out of range

    normalized = -1.0;
    EXPECT_FALSE(parameter->GetNormalizedValueFromString(AAX_CString("fast"), &normalized));
    EXPECT_DOUBLE_EQ(normalized, -1.0);  // untouched

    EXPECT_FALSE(parameter->GetNormalizedValueFromString(AAX_CString("5"), nullptr));
}

TEST(Parameter, SetValueFromStringParsesAndConstrains) {
    const auto parameter = MakeFloat("delay", 0.5f);
    EXPECT_TRUE(parameter->SetValueFromString(AAX_CString("0.75")));
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 0.75f);
    EXPECT_TRUE(parameter->SetValueFromString(AAX_CString("5")));
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 1.0f);
    EXPECT_FALSE(parameter->SetValueFromString(AAX_CString("loud")));
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 1.0f);

    const auto onOff = MakeBool("switch", false);
    EXPECT_TRUE(onOff->SetValueFromString(AAX_CString("on")));
    EXPECT_TRUE(ValueOf(*onOff));
    EXPECT_FALSE(onOff->SetValueFromString(AAX_CString("ON")));
    EXPECT_TRUE(ValueOf(*onOff));
}

TEST(Parameter, DefaultValueIsSetApartFromTheValue) {
    const auto parameter = MakeFloat("delay", 0.0f, -10.0f, 10.0f);
    parameter->SetNormalizedDefaultValue(0.75);
    EXPECT_DOUBLE_EQ(parameter->GetNormalizedDefaultValue(), 0.75);
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 0.0f);
    parameter->SetToDefaultValue();
    EXPECT_FLOAT_EQ(ValueOf(*parameter), 5.0f);
    parameter->SetNormalizedDefaultValue(3.0);
    EXPECT_DOUBLE_EQ(parameter->GetNormalizedDefaultValue(), 1.0);
}

TEST(Parameter, FloatFormOffersOnlyFloatAccess) {
    RecordingAutomationDelegate host;
    const auto parameter = MakeFloat("delay", 0.5f);
    parameter->SetAutomationDelegate(&host);
    host.ClearCalls();

    bool asBool = true;
    int32_t asInt = 42;
    double asDouble = 4.2;
    AAX_CString asString("kept");
    EXPECT_FALSE(parameter->GetValueAsBool(&asBool));
    EXPECT_FALSE(parameter->GetValueAsInt32(&asInt));
    EXPECT_FALSE(parameter->GetValueAsDouble(&asDouble));
    EXPECT_FALSE(parameter->GetValueAsString(&asString));
    EXPECT_TRUE(asBool);
    EXPECT_EQ(asInt, 42);
    EXPECT_EQ(asDouble, 4.2);
    EXPECT_STREQ(asString.Get(), "kept");

    EXPECT_FALSE(parameter->SetValueWithBool(true));
    EXPECT_FALSE(parameter->SetValueWithInt32(1));
    EXPECT_FALSE(parameter->SetValueWithDouble(1.0));
    EXPECT_FALSE(parameter->SetValueWithString(AAX_CString("1.0")));
    EXPECT_TRUE(host.Calls().empty());

    EXPECT_TRUE(parameter->SetValueWithFloat(0.25f));
    EXPECT_EQ(host.Count("PostSetValueRequest"), 1u);
    EXPECT_FALSE(parameter->GetValueAsFloat(nullptr));
}

TEST(Parameter, BoolFormOffersOnlyBoolAccess) {
    const auto parameter = MakeBool("switch", false);
    float asFloat = 3.5f;
    EXPECT_FALSE(parameter->GetValueAsFloat(&asFloat));
    EXPECT_EQ(asFloat, 3.5f);
    EXPECT_FALSE(parameter->SetValueWithFloat(1.0f));
    EXPECT_FALSE(ValueOf(*parameter));

    EXPECT_TRUE(parameter->SetValueWithBool(true));
    EXPECT_TRUE(ValueOf(*parameter));
    EXPECT_EQ(parameter->GetNormalizedValue(), 1.0);

    parameter->SetNormalizedValue(0.0001);  // any positive position is on
    EXPECT_TRUE(ValueOf(*parameter));
    parameter->SetNormalizedValue(0.0);
    EXPECT_FALSE(ValueOf(*parameter));

    AAX_CString text;
    EXPECT_TRUE(parameter->GetStringFromNormalizedValue(1.0, 1, text));
    EXPECT_STREQ(text.Get(), "on");
    double normalized = -1.0;
    EXPECT_TRUE(parameter->GetNormalizedValueFromString(AAX_CString("on"), &normalized));
    EXPECT_EQ(normalized, 1.0);
}
