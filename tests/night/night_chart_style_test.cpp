#include "night/night_chart_style.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace noxa {
namespace {

// The lines that can share a chart: the station's channels, or a logger's single channel, with
// the Sun and the Moon.
const std::vector<std::vector<ChartMark>> kChartLines = {
    {ChartMark::Channel740, ChartMark::Channel640, ChartMark::Red, ChartMark::Green,
     ChartMark::Blue, ChartMark::Sun, ChartMark::Moon},
    {ChartMark::SingleChannel, ChartMark::Sun, ChartMark::Moon}};

template <typename Check>
void ForEachPair(Check check) {
    for (const std::vector<ChartMark>& lines : kChartLines) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            for (std::size_t j = i + 1; j < lines.size(); ++j) check(lines[i], lines[j]);
        }
    }
}

// CIE L*a*b* of an sRGB colour, whose distances follow what the eye sees.
std::array<double, 3> Lab(const QColor& c) {
    auto linear = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    const double r = linear(c.redF()), g = linear(c.greenF()), b = linear(c.blueF());
    auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116; };
    const double x = f((0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047);
    const double y = f(0.2126 * r + 0.7152 * g + 0.0722 * b);
    const double z = f((0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883);
    return {116 * y - 16, 500 * (x - y), 200 * (y - z)};
}

TEST(NightChartStyle, LinesOfAChartDifferInColourAtAGlance) {
    ForEachPair([](ChartMark a, ChartMark b) {
        const auto la = Lab(LineStyleOf(a).colour), lb = Lab(LineStyleOf(b).colour);
        const double distance = std::hypot(la[0] - lb[0], la[1] - lb[1], la[2] - lb[2]);  // CIE76
        EXPECT_GE(distance, 30) << static_cast<int>(a) << " and " << static_cast<int>(b);
    });
}

// Where colour is lost (red night mode, grey print, colour blindness), the dashes and the width
// still tell them apart.
TEST(NightChartStyle, LinesOfAChartDifferWithoutColour) {
    ForEachPair([](ChartMark a, ChartMark b) {
        const LineStyle sa = LineStyleOf(a), sb = LineStyleOf(b);
        EXPECT_TRUE(sa.dashes != sb.dashes || sa.width != sb.width)
            << static_cast<int>(a) << " and " << static_cast<int>(b);
    });
}

}  // namespace
}  // namespace noxa
