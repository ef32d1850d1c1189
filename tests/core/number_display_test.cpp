#include "core/number_display.h"

#include "core/station_locale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

namespace noxa {
namespace {

const StationLocale kPoint = StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", ".");
const StationLocale kComma = StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", ",");

// The rule as written: the nearest step (beyond 2^53 steps every value is one), then the
// general format with 15 significant digits.
std::string Reference(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    const double scaled = value * scale;
    const double rounded = std::fabs(scaled) < 0x1p53 ? std::nearbyint(scaled) / scale : value;
    char text[64];
    std::snprintf(text, sizeof text, "%.15g", rounded + 0.0);
    return text;
}

TEST(FormatRounded, WritesWhatTheGeneralFormatOfTheRoundedValueGives) {
    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<double> exponent(-6, 15.5);
    for (int i = 0; i < 200000; ++i) {
        const double sign = (random() & 1) ? -1.0 : 1.0;
        const double value = sign * std::pow(10.0, exponent(random));
        const int decimals = static_cast<int>(random() % 6);
        ASSERT_EQ(FormatRounded(value, decimals, kPoint), Reference(value, decimals))
            << value << " to " << decimals << " decimals";
        const float single = static_cast<float>(value);
        ASSERT_EQ(FormatRounded(single, decimals, kPoint), Reference(single, decimals)) << single;
    }
}

TEST(FormatRounded, DropsTrailingZeros) {
    EXPECT_EQ(FormatRounded(20.50, 2, kPoint), "20.5");
    EXPECT_EQ(FormatRounded(25.00, 2, kPoint), "25");
    EXPECT_EQ(FormatRounded(0.0, 3, kPoint), "0");
    EXPECT_EQ(FormatRounded(8499.417407, 5, kPoint), "8499.41741");
}

TEST(FormatRounded, RoundsSinglePrecisionValuesToTheirStep) {
    EXPECT_EQ(FormatRounded(20.456f, 2, kPoint), "20.46");
    EXPECT_EQ(FormatRounded(19.5f, 2, kPoint), "19.5");
    EXPECT_EQ(FormatRounded(18.25f, 2, kPoint), "18.25");
    EXPECT_EQ(FormatRounded(0.1f, 3, kPoint), "0.1");
    EXPECT_EQ(FormatRounded(3.968f, 1, kPoint), "4");
}

TEST(FormatRounded, BreaksTiesToEvenOnTheScaledValue) {
    EXPECT_EQ(FormatRounded(0.125, 2, kPoint), "0.12");
    EXPECT_EQ(FormatRounded(0.375, 2, kPoint), "0.38");
    EXPECT_EQ(FormatRounded(2.5, 0, kPoint), "2");
    EXPECT_EQ(FormatRounded(3.5, 0, kPoint), "4");
    EXPECT_EQ(FormatRounded(-2.5, 0, kPoint), "-2");
}

TEST(FormatRounded, ShowsNoNegativeZero) {
    EXPECT_EQ(FormatRounded(-0.0004, 3, kPoint), "0");
    EXPECT_EQ(FormatRounded(-0.4, 0, kPoint), "0");
}

TEST(FormatRounded, UsesTheLocaleDecimalSeparator) {
    EXPECT_EQ(FormatRounded(20.456, 2, kComma), "20,46");
    EXPECT_EQ(FormatRounded(25.0, 2, kComma), "25");
}

TEST(FormatRounded, HandlesValuesBeyondTheStep) {
    EXPECT_EQ(FormatRounded(1e20, 3, kPoint), "1e+20");
    EXPECT_EQ(FormatRounded(std::numeric_limits<double>::max(), 3, kPoint),
              "1.79769313486232e+308");
    EXPECT_EQ(FormatRounded(std::numeric_limits<double>::quiet_NaN(), 2, kPoint), "NAN");
    EXPECT_EQ(FormatRounded(std::numeric_limits<double>::infinity(), 2, kPoint), "INF");
    EXPECT_EQ(FormatRounded(-std::numeric_limits<double>::infinity(), 2, kPoint), "-INF");
}

}  // namespace
}  // namespace noxa
