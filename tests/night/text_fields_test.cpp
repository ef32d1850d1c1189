#include "night/text_fields.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

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

TEST(TextFields, ReadsShortDecimalsAsFromCharsDoes) {
    // Plain decimals of up to 15 digits take a quicker way than longer ones: both give the float
    // nearest the decimal, the signed zero and the halfway cases included.
    std::mt19937_64 random(7);
    std::vector<std::string> texts = {
        "-0.00",    "0",   "5.",          ".5", "999999999999999", "0.000000000000001",
        "16777217", "0.1", "3.4028235e38"};
    for (int i = 0; i < 20000; ++i) {
        std::string digits = std::to_string(random() % 1000000000000000ULL);
        const size_t point = random() % (digits.size() + 1);
        if (point < digits.size()) digits.insert(digits.size() - point, ".");
        texts.push_back((random() % 2 ? "-" : "") + digits);
    }
    for (const std::string& text : texts) {
        float expected = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), expected);
        const bool whole = error == std::errc() && end == text.data() + text.size();
        const std::optional<float> read = Float(text);
        ASSERT_EQ(read.has_value(), whole) << text;
        if (whole) {
            EXPECT_EQ(std::bit_cast<std::uint32_t>(*read), std::bit_cast<std::uint32_t>(expected))
                << text;
        }
    }
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
