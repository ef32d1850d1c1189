#include "night/text_fields.h"

#include <gtest/gtest.h>

#include <optional>

namespace noxa {
namespace {

std::optional<float> Float(std::string_view text) {
    float value = 0;
    if (!ParseFloat(text, value)) return std::nullopt;
    return value;
}

TEST(TextFields, ReadsADecimalAsTheNearestFloat) {
    // 2^24 + 1 lies halfway between two floats: the tie goes to the even one, and a digit
    // beyond it to the upper one, which a first rounding to a double would lose.
    EXPECT_EQ(Float("16777217"), 16777216.0f);
    EXPECT_EQ(Float("16777217.000000001"), 16777218.0f);
    EXPECT_EQ(Float(" -12.34\r"), -12.34f);
    EXPECT_EQ(Float("+1e3"), 1000.0f);
}

TEST(TextFields, RefusesWhatIsNotOneFiniteNumber) {
    for (const char* text : {"", "-", "12,5", "1.5x", "nan", "inf", "1e39", "0x10"})
        EXPECT_EQ(Float(text), std::nullopt) << text;
}

TEST(TextFields, ReadsTimesAsUtcMilliseconds) {
    const struct {
        const char* text;
        UtcMilliseconds ms;
    } cases[] = {
        {"1970-01-01T00:00:00", 0},
        {"1969-12-31T23:59:59.5", -500},
        {"2024-02-29 12:00:00.1234", 1709208000123},
        {"2000-03-01T00:00:00.000", 951868800000},
    };
    for (const auto& c : cases) {
        UtcMilliseconds ms = 0;
        EXPECT_TRUE(ParseIsoTime(c.text, ms)) << c.text;
        EXPECT_EQ(ms, c.ms) << c.text;
    }
}

}  // namespace
}  // namespace noxa
