#include "core/c_numbers.h"

#include "support/comma_locale.h"

#include <gtest/gtest.h>

#include <locale.h>

#include <cmath>
#include <random>
#include <string>

namespace noxa {
namespace {

// strtod's value, and in `read` whether it took any of the text as a number.
double ReferenceAtof(const std::string& text, bool& read) {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    char* end = nullptr;
    const double value = strtod_l(text.c_str(), &end, c);
    read = end != text.c_str();
    return value;
}

void ExpectSameAsStrtod(const std::string& text) {
    bool expectedRead = false, actualRead = false;
    const double expected = ReferenceAtof(text, expectedRead);
    const double actual = CAtof(text, actualRead);
    EXPECT_EQ(expectedRead, actualRead) << '"' << text << '"';
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << '"' << text << '"';
    } else {
        EXPECT_EQ(expected, actual) << '"' << text << '"';
        EXPECT_EQ(std::signbit(expected), std::signbit(actual)) << '"' << text << '"';
    }
}

TEST(CAtof, ReadsTheLeadingNumberLikeTheCLibrary) {
    for (const char* text : {"21.34",
                             "9.87,",
                             "-12.3",
                             "  +5",
                             "\t-0.5}",
                             "abc",
                             "",
                             "-",
                             "+",
                             "--5",
                             "+-5",
                             "1e",
                             "1e+",
                             "1.5e3x",
                             ".5",
                             "5.",
                             "0x1A",
                             "-0x1p3",
                             "inf",
                             "-Infinity",
                             "nan",
                             "1e999",
                             "-1e999",
                             "1e-999",
                             "00012",
                             "3,14",
                             "1 2",
                             "\"21.3",
                             "0.000000000000000000001"}) {
        ExpectSameAsStrtod(text);
    }
}

TEST(CAtof, AgreesWithStrtodOnRandomNumberLikeText) {
    std::mt19937 random(7);
    const std::string alphabet = "0123456789.-+eExX ,}\"an";
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 9);
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        for (int n = length(random); n > 0; --n) text += alphabet[pick(random)];
        ExpectSameAsStrtod(text);
    }
}

TEST(CAtof, IgnoresADecimalCommaLocale) {
    if (!test::UseCommaLocale()) GTEST_SKIP() << "no German locale available";
    EXPECT_EQ(CAtof("21.34"), 21.34);
    EXPECT_EQ(CAtof("3,14"), 3.0);
    EXPECT_EQ(CAtof("0x10"), 16.0);  // the slow path too
    test::RestoreCLocale();
}

TEST(CAtol, ReadsTheLeadingIntegerAndSaturates) {
    EXPECT_EQ(CAtol("60"), 60);
    EXPECT_EQ(CAtol("  -42abc"), -42);
    EXPECT_EQ(CAtol("+7"), 7);
    EXPECT_EQ(CAtol("abc"), 0);
    EXPECT_EQ(CAtol(""), 0);
    EXPECT_EQ(CAtol("12.9"), 12);
    EXPECT_EQ(CAtol("99999999999999999999999"), INT64_MAX);
    EXPECT_EQ(CAtol("-99999999999999999999999"), INT64_MIN);
    EXPECT_EQ(CAtol("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(CAtoi32("4000000000"), INT32_MAX);
    EXPECT_EQ(CAtoi32("-4000000000"), INT32_MIN);
}

TEST(ParseStrictInt, AcceptsOnlyAWholeInteger) {
    std::int32_t value = -1;
    EXPECT_TRUE(ParseStrictInt("2255", value));
    EXPECT_EQ(value, 2255);
    EXPECT_TRUE(ParseStrictInt(" -3 ", value));
    EXPECT_EQ(value, -3);
    value = 9;
    for (const char* bad : {"", " ", "22x", "2255.0", "abc", "+", "++1", "--1", "99999999999"}) {
        EXPECT_FALSE(ParseStrictInt(bad, value)) << bad;
        EXPECT_EQ(value, 9);
    }
}

TEST(CFormat, UsesThePointWhateverTheLocale) {
    EXPECT_EQ(CFormat("%07.1f", 1234.5), "01234.5");
    EXPECT_EQ(CFormat("%06.3f", 0.5), "00.500");
    EXPECT_EQ(CFormat("%05.2f", -1.5), "-1.50");
    if (!test::UseCommaLocale()) GTEST_SKIP() << "no German locale available";
    EXPECT_EQ(CFormat("%05.2f", 9.5), "09.50");
    test::RestoreCLocale();
}

}  // namespace
}  // namespace noxa
