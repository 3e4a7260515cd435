#include <gtest/gtest.h>

#include <cstring>
#include <iomanip>
#include <locale>
#include <sstream>
#include <string>

#include "params/AAX_CString.h"
#include "comma_locale.h"

namespace {

// A foreign implementation of the interface: assignment must read it only through Get.
class FixedString final : public AAX_IString {
public:
    explicit FixedString(const char* text) : mText(text) {}
    void* Destroy(uint32_t) override { return this; }
    uint32_t Length() const override { return static_cast<uint32_t>(std::strlen(mText)); }
    uint32_t MaxLength() const override { return 0; }
    const char* Get() const override { return mText; }
    void Set(const char*) override {}
    AAX_IString& AssignText(const char*) override { return *this; }
    AAX_IString& AssignString(const AAX_IString&) override { return *this; }

private:
    const char* mText;
};

}  // namespace

TEST(String, EmptyStringHasLengthZeroAndNonNullText) {
    const AAX_CString empty;
    EXPECT_EQ(empty.Length(), 0u);
    ASSERT_NE(empty.Get(), nullptr);
    EXPECT_STREQ(empty.Get(), "");

    const AAX_CString fromNull(static_cast<const char*>(nullptr));
    ASSERT_NE(fromNull.Get(), nullptr);
    EXPECT_EQ(fromNull.Length(), 0u);
}

TEST(String, MaxLengthIsFixedWhateverTheContents) {
    EXPECT_EQ(AAX_CString().MaxLength(), 4294967294u);
    EXPECT_EQ(AAX_CString("delay time").MaxLength(), 4294967294u);
    const AAX_IString& viaInterface = AAX_CString(std::string(300, 'x').c_str());
    EXPECT_EQ(viaInterface.MaxLength(), 0xFFFFFFFEu);
}

TEST(String, CopiesAreIndependentValues) {
    AAX_CString original("feedback");
    AAX_CString copy(original);
    AAX_CString assigned;
    assigned = original;
    original.Set("mix");
    EXPECT_STREQ(copy.Get(), "feedback");
    EXPECT_STREQ(assigned.Get(), "feedback");
    EXPECT_EQ(copy.Length(), 8u);

    AAX_CString moved(std::move(copy));
    EXPECT_STREQ(moved.Get(), "feedback");
}

TEST(String, InterfaceSlotsSetAndAssignText) {
    AAX_CString target("old");
    AAX_IString& slots = target;

    slots.Set("set text");
    EXPECT_STREQ(target.Get(), "set text");

    AAX_IString& returned = (slots = "assigned text");
    EXPECT_EQ(&returned, &slots);
    EXPECT_STREQ(target.Get(), "assigned text");

    // The interface form reads any implementation through Get.
    const FixedString foreign("foreign text");
    AAX_IString& returnedFromInterface = (slots = static_cast<const AAX_IString&>(foreign));
    EXPECT_EQ(&returnedFromInterface, &slots);
    EXPECT_STREQ(target.Get(), "foreign text");
    EXPECT_EQ(target.Length(), 12u);
}

TEST(String, SelfAssignmentThroughInterfaceKeepsText) {
    AAX_CString text("unchanged");
    AAX_IString& slots = text;
    slots = static_cast<const AAX_IString&>(text);
    EXPECT_STREQ(text.Get(), "unchanged");
    EXPECT_EQ(text.Length(), 9u);

    // Setting from a pointer into its own text (not at its start) keeps the tail.
    slots.Set(text.Get() + 2);
    EXPECT_STREQ(text.Get(), "changed");

    slots.Set(nullptr);
    EXPECT_STREQ(text.Get(), "");
}

TEST(String, EraseClampsCountAndIgnoresPositionsPastTheEnd) {
    AAX_CString text("abcde");
    text.Erase(2, 100);
    EXPECT_STREQ(text.Get(), "ab");

    AAX_CString middle("abcde");
    middle.Erase(1, 2);
    EXPECT_STREQ(middle.Get(), "ade");

    AAX_CString whole("abcde");
    whole.Erase(0, 0xFFFFFFFFu);
    EXPECT_STREQ(whole.Get(), "");

    AAX_CString past("abc");
    past.Erase(3, 1);
    past.Erase(1000, 5);
    EXPECT_STREQ(past.Get(), "abc");

    past.Clear();
    EXPECT_EQ(past.Length(), 0u);
}

TEST(String, AppendNumberWritesFixedPointWithPrecision) {
    struct Case {
        double value;
        int32_t precision;
        const char* expected;
    };
    const Case cases[] = {
        {0.5, 2, "0.50"},
        {1234.5678, 2, "1234.57"},
        {-0.001, 2, "-0.00"},
        {-0.25, 2, "-0.25"},
        {1234567.0, 2, "1234567.00"},  // no grouping
        {1e20, 2, "100000000000000000000.00"},  // no exponent
        {0.125, 3, "0.125"},
        {7.0, -3, "7"},  // a negative precision is taken as 0
    };
    for (const Case& c : cases) {
        AAX_CString text;
        text.AppendNumber(c.value, c.precision);
        EXPECT_STREQ(text.Get(), c.expected) << "value " << c.value << " precision " << c.precision;
    }

    AAX_CString prefixed("x");
    prefixed.AppendNumber(3, 2);
    EXPECT_STREQ(prefixed.Get(), "x3.00");
}

TEST(String, AppendNumberIgnoresTheGlobalLocale) {
    const CommaDecimalLocale comma;
    std::ostringstream global;
    global << std::fixed << std::setprecision(2) << 1234.5;
    ASSERT_EQ(global.str(), "1.234,50");  // the global locale is in effect
    AAX_CString text;
    text.AppendNumber(1234.5, 2);
    EXPECT_STREQ(text.Get(), "1234.50");
}

TEST(String, EqualityIsByteWiseAndCaseSensitive) {
    EXPECT_TRUE(AAX_CString("on") == AAX_CString("on"));
    EXPECT_FALSE(AAX_CString("on") == AAX_CString("On"));
    EXPECT_FALSE(AAX_CString("on") == AAX_CString("on "));
    EXPECT_TRUE(AAX_CString() == AAX_CString(""));
    EXPECT_EQ(AAX_CString("abc").StdString(), std::string("abc"));
}
