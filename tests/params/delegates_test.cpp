#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iomanip>
#include <limits>
#include <memory>
#include <sstream>

#include "params/AAX_CBinaryDisplayDelegate.h"
#include "params/AAX_CBinaryTaperDelegate.h"
#include "params/AAX_CLinearTaperDelegate.h"
#include "params/AAX_CNumberDisplayDelegate.h"
#include "params/AAX_CString.h"
#include "comma_locale.h"
#include "params/NumberText.h"

namespace {

// A linear taper whose constraint is observable: proves the conversions go through the
// virtual slot rather than an inlined copy of the clamp.
class HalvingConstraintTaper : public AAX_CLinearTaperDelegate<float> {
public:
    HalvingConstraintTaper() : AAX_CLinearTaperDelegate<float>(0.0f, 1.0f) {}
    float ConstrainRealValue(float value) const override { return value * 0.5f; }
};

std::string Shown(float value, int32_t maximum) {
    AAX_CNumberDisplayDelegate<float, 2, 0> display;
    AAX_CString text("stale");
    EXPECT_TRUE(display.ValueToString(value, maximum, &text));
    return text.StdString();
}

}  // namespace

TEST(LinearTaper, ClampsOutOfRangeValuesBothWays) {
    const AAX_CLinearTaperDelegate<float, 0> unit(0.0f, 1.0f);
    EXPECT_FLOAT_EQ(unit.NormalizedToReal(1.5), 1.0f);
    EXPECT_FLOAT_EQ(unit.NormalizedToReal(-0.2), 0.0f);
    EXPECT_DOUBLE_EQ(unit.RealToNormalized(2.0f), 1.0);
    EXPECT_DOUBLE_EQ(unit.RealToNormalized(0.25f), 0.25);
    EXPECT_DOUBLE_EQ(unit.RealToNormalized(-3.0f), 0.0);
}

TEST(LinearTaper, NotANumberBecomesTheMinimum) {
    const AAX_CLinearTaperDelegate<float, 0> range(-2.0f, 3.0f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FLOAT_EQ(range.ConstrainRealValue(nan), -2.0f);
    EXPECT_FLOAT_EQ(range.NormalizedToReal(std::numeric_limits<double>::quiet_NaN()), -2.0f);
    EXPECT_DOUBLE_EQ(range.RealToNormalized(nan), 0.0);
}

TEST(LinearTaper, MapsASymmetricRange) {
    const AAX_CLinearTaperDelegate<float> taper(-10.0f, 10.0f);
    EXPECT_FLOAT_EQ(taper.NormalizedToReal(0.5), 0.0f);
    EXPECT_FLOAT_EQ(taper.NormalizedToReal(0.0), -10.0f);
    EXPECT_FLOAT_EQ(taper.NormalizedToReal(0.75), 5.0f);
    EXPECT_DOUBLE_EQ(taper.RealToNormalized(5.0f), 0.75);
    EXPECT_DOUBLE_EQ(taper.RealToNormalized(-10.0f), 0.0);
    EXPECT_FLOAT_EQ(taper.GetMinimumValue(), -10.0f);
    EXPECT_FLOAT_EQ(taper.GetMaximumValue(), 10.0f);
    EXPECT_FLOAT_EQ(taper.ConstrainRealValue(11.0f), 10.0f);
    EXPECT_FLOAT_EQ(taper.ConstrainRealValue(-11.0f), -10.0f);
    EXPECT_FLOAT_EQ(taper.ConstrainRealValue(3.0f), 3.0f);
}

TEST(LinearTaper, ComputesInDoubleFromFloatMembers) {
    // 0.1f is not 0.1: the normalized value is exact relative to the stored float members.
    const AAX_CLinearTaperDelegate<float> taper(0.0f, 0.1f);
    EXPECT_DOUBLE_EQ(taper.RealToNormalized(0.1f), 1.0);
    EXPECT_DOUBLE_EQ(taper.RealToNormalized(0.05f),
                     static_cast<double>(0.05f) / static_cast<double>(0.1f));
}

TEST(LinearTaper, TestsTheMaximumFirstForAnInvertedRange) {
    const AAX_CLinearTaperDelegate<float> inverted(5.0f, 1.0f);
    EXPECT_FLOAT_EQ(inverted.ConstrainRealValue(3.0f), 1.0f);
    EXPECT_FLOAT_EQ(inverted.ConstrainRealValue(0.0f), 5.0f);
}

TEST(LinearTaper, ConversionsGoThroughTheVirtualConstraint) {
    const HalvingConstraintTaper taper;
    EXPECT_FLOAT_EQ(taper.NormalizedToReal(0.8), 0.4f);
    EXPECT_DOUBLE_EQ(taper.RealToNormalized(0.8f), static_cast<double>(0.4f));
}

TEST(LinearTaper, EmptyRangeReportsZeroInsteadOfNaN) {
    const AAX_CLinearTaperDelegate<float> point(2.0f, 2.0f);
    EXPECT_EQ(point.RealToNormalized(2.0f), 0.0);
    EXPECT_EQ(point.RealToNormalized(7.0f), 0.0);
    EXPECT_FLOAT_EQ(point.NormalizedToReal(0.6), 2.0f);
}

TEST(LinearTaper, CloneOutlivesTheOriginal) {
    auto original = std::make_unique<AAX_CLinearTaperDelegate<float>>(-10.0f, 10.0f);
    std::unique_ptr<AAX_ITaperDelegate<float>> clone(original->Clone());
    original.reset();
    ASSERT_NE(clone, nullptr);
    EXPECT_FLOAT_EQ(clone->GetMinimumValue(), -10.0f);
    EXPECT_FLOAT_EQ(clone->GetMaximumValue(), 10.0f);
    EXPECT_DOUBLE_EQ(clone->RealToNormalized(5.0f), 0.75);
}

TEST(BinaryTaper, AnyPositiveNormalizedValueIsTrue) {
    const AAX_CBinaryTaperDelegate<bool> taper;
    EXPECT_TRUE(taper.NormalizedToReal(0.0001));
    EXPECT_TRUE(taper.NormalizedToReal(1.0));
    EXPECT_FALSE(taper.NormalizedToReal(0.0));
    EXPECT_FALSE(taper.NormalizedToReal(-0.5));
    EXPECT_EQ(taper.RealToNormalized(true), 1.0);
    EXPECT_EQ(taper.RealToNormalized(false), 0.0);
    EXPECT_TRUE(taper.GetMaximumValue());
    EXPECT_FALSE(taper.GetMinimumValue());
    EXPECT_TRUE(taper.ConstrainRealValue(true));
    EXPECT_FALSE(taper.ConstrainRealValue(false));
    std::unique_ptr<AAX_ITaperDelegate<bool>> clone(taper.Clone());
    EXPECT_TRUE(clone->NormalizedToReal(0.5));
}

TEST(NumberDisplay, FormatsTwoDecimalsWithHyphenMinus) {
    const AAX_CNumberDisplayDelegate<float, 2, 0> display;
    AAX_CString text("old text");
    EXPECT_TRUE(display.ValueToString(0.5f, &text));
    EXPECT_STREQ(text.Get(), "0.50");
    EXPECT_TRUE(display.ValueToString(1.0f, &text));
    EXPECT_STREQ(text.Get(), "1.00");
    EXPECT_TRUE(display.ValueToString(-0.25f, &text));
    EXPECT_STREQ(text.Get(), "-0.25");
    EXPECT_FALSE(display.ValueToString(1.0f, nullptr));
}

TEST(NumberDisplay, MaximumCutsWithoutRoundingAndDropsATrailingPoint) {
    EXPECT_EQ(Shown(1234.567f, 6), "1234.5");  // full text 1234.57: cut, not rounded again
    EXPECT_EQ(Shown(1234.567f, 5), "1234");
    EXPECT_EQ(Shown(1234.567f, 3), "123");
    EXPECT_EQ(Shown(0.5f, 10), "0.50");
    EXPECT_EQ(Shown(0.5f, 4), "0.50");
    EXPECT_EQ(Shown(-0.25f, 2), "-0");
    EXPECT_EQ(Shown(0.5f, 1), "0");
}

TEST(NumberDisplay, MaximumBelowOneGivesAnEmptyText) {
    EXPECT_EQ(Shown(1234.567f, 0), "");
    EXPECT_EQ(Shown(0.5f, -7), "");
    EXPECT_EQ(Shown(0.5f, std::numeric_limits<int32_t>::min()), "");
}

TEST(NumberDisplay, ParsesALeadingNumberAndReportsFailures) {
    const AAX_CNumberDisplayDelegate<float> display;
    float value = -1.0f;
    EXPECT_TRUE(display.StringToValue(AAX_CString("7"), &value));
    EXPECT_FLOAT_EQ(value, 7.0f);
    EXPECT_TRUE(display.StringToValue(AAX_CString("  3.5 dB"), &value));
    EXPECT_FLOAT_EQ(value, 3.5f);
    EXPECT_TRUE(display.StringToValue(AAX_CString("-0.25"), &value));
    EXPECT_FLOAT_EQ(value, -0.25f);

    value = -1.0f;
    EXPECT_FALSE(display.StringToValue(AAX_CString("abc"), &value));
    EXPECT_EQ(value, 0.0f);
    value = -1.0f;
    EXPECT_FALSE(display.StringToValue(AAX_CString(""), &value));
    EXPECT_EQ(value, 0.0f);
    value = -1.0f;
    EXPECT_FALSE(display.StringToValue(AAX_CString("dB 3"), &value));
    EXPECT_EQ(value, 0.0f);

    EXPECT_FALSE(display.StringToValue(AAX_CString("1"), nullptr));
}

TEST(NumberDisplay, ReadsAndWritesTheClassicFormWhateverTheGlobalLocale) {
    const CommaDecimalLocale comma;
    const AAX_CNumberDisplayDelegate<float> display;
    float value = 0.0f;
    EXPECT_TRUE(display.StringToValue(AAX_CString("1234.5"), &value));
    EXPECT_FLOAT_EQ(value, 1234.5f);
    AAX_CString text;
    EXPECT_TRUE(display.ValueToString(1234.5f, &text));
    EXPECT_STREQ(text.Get(), "1234.50");
}

// The number texts follow a classic-locale input stream exactly, whatever locale the process
// has set; the stream here is the oracle, imbued with the classic locale.
TEST(NumberDisplay, ReadsEveryTextAsAClassicStreamDoesUnderACommaLocale) {
    const CommaDecimalLocale comma;
    const char* const texts[] = {"3.5 dB", "  7", "\t\n 2e2x", "abc", "", "+5", "+-5", "- 5", "-.5", ".", "5.",
                                 "1e", "1e+", "1ex", "1.5e3", "1E2", "1e400", "-1e400", "1e-400", "5e-330",
                                 "1,5", "0x1p3", "inf", "nan", "-inf", "1.5.2", "00012", "2e308", "0.5e310",
                                 "1e-310", "+", "e5", "99999999999999999999999999999999999999e-50"};
    for (const char* text : texts) {
        std::istringstream stream(text);
        stream.imbue(std::locale::classic());
        double expected = 0.0;
        const bool expectedOk = static_cast<bool>(stream >> expected);
        if (!expectedOk) expected = 0.0;
        double parsed = -7.0;
        EXPECT_EQ(ReadLeadingNumber(text, std::strlen(text), &parsed), expectedOk) << '"' << text << '"';
        EXPECT_EQ(parsed, expected) << '"' << text << '"';
    }
    std::string written;
    for (const double value : {0.5, 1234.5678, -0.001, 3.0, -0.0, 1e20, 0.125, 2.675, -1234.5}) {
        std::ostringstream stream;
        stream.imbue(std::locale::classic());
        stream << std::fixed << std::setprecision(2) << value;
        written.clear();
        AppendFixedNumber(written, value, 2);
        EXPECT_EQ(written, stream.str()) << value;
    }
}

TEST(NumberDisplay, NumbersBeyondFloatRangeBecomeInfinite) {
    const AAX_CNumberDisplayDelegate<float> display;
    float value = 0.0f;
    EXPECT_TRUE(display.StringToValue(AAX_CString("1e300"), &value));
    EXPECT_TRUE(std::isinf(value));
    EXPECT_GT(value, 0.0f);
    EXPECT_TRUE(display.StringToValue(AAX_CString("-1e300"), &value));
    EXPECT_TRUE(std::isinf(value));
    EXPECT_LT(value, 0.0f);
}

TEST(BinaryDisplay, ShowsAndParsesItsTwoTextsExactly) {
    const AAX_CBinaryDisplayDelegate<bool> display("off", "on");
    AAX_CString text;
    EXPECT_TRUE(display.ValueToString(true, &text));
    EXPECT_STREQ(text.Get(), "on");
    EXPECT_TRUE(display.ValueToString(false, &text));
    EXPECT_STREQ(text.Get(), "off");
    // The maximum is not applied.
    EXPECT_TRUE(display.ValueToString(false, 1, &text));
    EXPECT_STREQ(text.Get(), "off");

    bool value = false;
    EXPECT_TRUE(display.StringToValue(AAX_CString("on"), &value));
    EXPECT_TRUE(value);
    value = true;
    EXPECT_TRUE(display.StringToValue(AAX_CString("off"), &value));
    EXPECT_FALSE(value);
    value = true;
    EXPECT_FALSE(display.StringToValue(AAX_CString("On"), &value));
    EXPECT_FALSE(value);  // written even on failure
}

TEST(BinaryDisplay, NullTextsAreEmptyAndClonesKeepTheirOwnCopies) {
    auto original = std::make_unique<AAX_CBinaryDisplayDelegate<bool>>(nullptr, "bypass");
    std::unique_ptr<AAX_IDisplayDelegate<bool>> clone(original->Clone());
    original.reset();

    AAX_CString text("x");
    EXPECT_TRUE(clone->ValueToString(false, &text));
    EXPECT_STREQ(text.Get(), "");
    EXPECT_TRUE(clone->ValueToString(true, &text));
    EXPECT_STREQ(text.Get(), "bypass");

    bool value = true;
    EXPECT_TRUE(clone->StringToValue(AAX_CString(""), &value));
    EXPECT_FALSE(value);
}
