#include "night/night_chart_layout.h"

#include "night/test_nights.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace noxa {
namespace {

using test::MakeNight;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// Labels of 14 pixels' height and 7 pixels a character, titles 18 pixels high.
TextMeasure FixedText() {
    return {14, 18, [](const QString& text) { return 7.0 * static_cast<double>(text.size()); }};
}

std::string LocalTime(UtcMilliseconds t, const Night& night) {
    return QDateTime::fromMSecsSinceEpoch(t, night.zone)
        .toString(QStringLiteral("HH:mm"))
        .toStdString();
}

std::vector<std::string> Labels(const Axis& axis) {
    std::vector<std::string> labels;
    for (const AxisTick& tick : axis.ticks) labels.push_back(tick.label.toStdString());
    return labels;
}

struct AxesCase {
    const char* name;
    float sunAtMidnight;
    int width;
    const char *from, *to;  // local times
    double top, bottom;     // magnitudes
    double step;            // between magnitude ticks
    std::vector<std::string> hours;
};

void PrintTo(const AxesCase& c, std::ostream* os) {
    *os << c.name;
}

class NightChartAxes : public ::testing::TestWithParam<AxesCase> {};

TEST_P(NightChartAxes, SpanSunsetToSunriseWithTicksInsideThePlot) {
    const AxesCase& c = GetParam();
    const Night night = MakeNight(c.sunAtMidnight);
    const NightChartLayout layout = LayOutNightChart(night, QSize(c.width, 640), FixedText());
    ASSERT_TRUE(layout.hasPlot);
    EXPECT_EQ(LocalTime(layout.frame.span.from, night), c.from);
    EXPECT_EQ(LocalTime(layout.frame.span.to, night), c.to);
    EXPECT_EQ(layout.frame.magnitudes.top, c.top);
    EXPECT_EQ(layout.frame.magnitudes.bottom, c.bottom);
    EXPECT_THAT(Labels(layout.timeAxis), ElementsAreArray(c.hours));

    // Ticks from the bottom to the top, darker higher up.
    const std::vector<std::string> mags = Labels(layout.magnitudeAxis);
    const int decimals = c.step < 1 ? 1 : 0;
    ASSERT_EQ(mags.size(), static_cast<std::size_t>((c.top - c.bottom) / c.step + 1));
    EXPECT_EQ(mags.front(), QString::number(c.bottom, 'f', decimals).toStdString());
    EXPECT_EQ(mags.back(), QString::number(c.top, 'f', decimals).toStdString());
    EXPECT_GT(layout.magnitudeAxis.ticks.front().at, layout.magnitudeAxis.ticks.back().at);
    EXPECT_THAT(Labels(layout.altitudeAxis),
                ElementsAre("-90", "-60", "-30", "0", "30", "60", "90"));

    const QRectF plot = layout.frame.plot;
    for (const Axis* axis : {&layout.magnitudeAxis, &layout.altitudeAxis}) {
        for (const AxisTick& tick : axis->ticks) {
            EXPECT_GE(tick.at, plot.top());
            EXPECT_LE(tick.at, plot.bottom());
        }
    }
    for (const AxisTick& tick : layout.timeAxis.ticks) {
        EXPECT_GE(tick.at, plot.left());
        EXPECT_LE(tick.at, plot.right());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Nights, NightChartAxes,
    ::testing::Values(
        AxesCase{"Normal",
                 -50,
                 1200,
                 "17:05",
                 "06:55",
                 23,
                 14,
                 0.5,
                 {"18", "19", "20", "21", "22", "23", "00", "01", "02", "03", "04", "05", "06"}},
        // Hours spaced out where an hour is too narrow for its label, whole magnitudes where
        // the legend's rows leave the plot too short for halves.
        AxesCase{"NormalNarrow",
                 -50,
                 400,
                 "17:05",
                 "06:55",
                 23,
                 14,
                 1,
                 {"18", "20", "22", "00", "02", "04", "06"}},
        // The Sun is 6° down for less than a quarter of the span: the range keeps twilight's
        // bright readings instead of squeezing the chart into the dark spell.
        AxesCase{"MidsummerDarkSpell",
                 -6.5f,
                 1200,
                 "20:35",
                 "03:25",
                 16,
                 9,
                 0.5,
                 {"21", "22", "23", "00", "01", "02", "03"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NightChartLayout, EmptyNightHasATitleAndAMessageButNoPlot) {
    Night empty;
    empty.date = QDate(2024, 12, 31);
    const NightChartLayout layout = LayOutNightChart(empty, QSize(600, 300), FixedText());
    EXPECT_EQ(layout.title, "Night of 2024-12-31 to 2025-01-01 (UTC time)");
    EXPECT_EQ(layout.message, "No records");
    EXPECT_GT(layout.messageRect.top(), layout.titleRect.bottom());
    EXPECT_FALSE(layout.hasPlot);
    EXPECT_TRUE(layout.legend.empty());
    EXPECT_TRUE(layout.lines.empty());
}

TEST(NightChartLayout, TooSmallForAPlotKeepsOnlyTheTitle) {
    const NightChartLayout layout = LayOutNightChart(MakeNight(), QSize(40, 20), FixedText());
    EXPECT_FALSE(layout.title.isEmpty());
    EXPECT_FALSE(layout.hasPlot);
    EXPECT_TRUE(layout.legend.empty());
}

TEST(NightChartLayout, ShadesTwilightThenNightThenTwilightWithoutSeams) {
    const Night night = MakeNight(-50);
    const std::vector<ShadeSpan> spans = ShadeSpans(night.samples, 3 * 60000, 0);
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_EQ(spans[0].shade, Shade::Twilight);
    EXPECT_EQ(spans[1].shade, Shade::AstronomicalNight);
    EXPECT_EQ(spans[2].shade, Shade::Twilight);
    EXPECT_EQ(spans[0].to, spans[1].from);
    EXPECT_EQ(spans[1].to, spans[2].from);
    EXPECT_EQ(LocalTime(spans[1].from, night), "19:07");  // the Sun crossing -18°

    const std::vector<ShadeSpan> light = ShadeSpans(MakeNight(-15).samples, 3 * 60000, 0);
    ASSERT_EQ(light.size(), 1u);
    EXPECT_EQ(light[0].shade, Shade::Twilight);
}

TEST(NightChartLayout, ShadeChangesAcrossAGapAtItsMiddle) {
    Night night = MakeNight(-50);
    // No records from 18:00 to 20:00, when the Sun sinks below -18°.
    night.samples.erase(night.samples.begin() + 360, night.samples.begin() + 480);
    const std::vector<ShadeSpan> spans = ShadeSpans(night.samples, 3 * 60000, 0);
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_EQ(LocalTime(spans[1].from, night), "18:59");
}

// Two steps of three minutes stay joined, a step of four breaks the line.
TEST(NightChartLayout, GapIsThreeUsualStepsAndBreaksTheLines) {
    Night night = MakeNight();
    night.samples.resize(20);
    for (std::size_t i = 0; i < night.samples.size(); ++i) {
        night.samples[i].time = night.samples[0].time + static_cast<UtcMilliseconds>(i) * 60000;
        night.samples[i].mag[3] = 20;
    }
    for (std::size_t i = 5; i < 20; ++i) night.samples[i].time += 2 * 60000;   // a 3-minute step
    for (std::size_t i = 10; i < 20; ++i) night.samples[i].time += 3 * 60000;  // a 4-minute step
    EXPECT_EQ(GapLimit(night.samples), 3 * 60000);
    EXPECT_THAT(RunEnds(night.samples, GapLimit(night.samples)), ElementsAre(10u, 20u));

    night.samples[14].mag[3] = 0;  // no green reading
    night.samples[16].mag[3] = NAN;
    ChartFrame frame;
    frame.plot = QRectF(0, 0, 1000, 500);
    frame.span = {night.samples.front().time, night.samples.back().time};
    const std::vector<QPolygonF> green =
        SeriesRuns(frame, night.samples, RunEnds(night.samples, 3 * 60000),
                   [](const NightSample& s) -> std::optional<double> {
                       if (!HasReading(s.mag[3])) return std::nullopt;
                       return s.mag[3];
                   });
    std::vector<qsizetype> sizes;
    for (const QPolygonF& run : green) sizes.push_back(run.size());
    EXPECT_THAT(sizes, ElementsAre(10, 4, 1, 3));  // 15 is a lone value
    EXPECT_EQ(green[0].front().x(), 0);
    EXPECT_EQ(green[3].back().x(), 1000);
}

TEST(NightChartLayout, GapOfTheFewestSamples) {
    const Night night = MakeNight();
    EXPECT_EQ(GapLimit({}), 3 * 60000);
    EXPECT_EQ(GapLimit({night.samples[0]}), 3 * 60000);
}

TEST(NightChartLayout, LegendNamesEveryMarkInCentredRowsWithinTheWidth) {
    for (int width : {1200, 400}) {
        const NightChartLayout layout =
            LayOutNightChart(MakeNight(), QSize(width, 640), FixedText());
        std::vector<std::string> texts;
        double left = width, right = 0, lowest = 0;
        for (const LegendEntry& e : layout.legend) {
            texts.push_back(e.text.toStdString());
            EXPECT_EQ(e.filled, e.mark >= ChartMark::Cloud) << e.text.toStdString();
            left = std::min(left, e.line.x1());
            right = std::max(right, e.textRect.right());
            lowest = std::max(lowest, e.textRect.bottom());
        }
        EXPECT_THAT(
            texts, ElementsAre("740 nm", "640 nm", "red", "green", "blue", "Sun", "Moon (10 % lit)",
                               "cloud cover", "astronomical night", "twilight"));
        EXPECT_GT(left, 0);
        EXPECT_LT(right, width);
        EXPECT_LE(lowest, layout.frame.plot.top());
        const bool oneRow =
            layout.legend.front().textRect.top() == layout.legend.back().textRect.top();
        EXPECT_EQ(oneRow, width == 1200);
        if (oneRow) {
            EXPECT_NEAR(left, width - right, 1e-9) << "not centred";
        }
    }
}

struct DrawnCase {
    const char* name;
    float sunAtMidnight;
    std::function<void(NightSample&)> change;
    std::vector<std::string> legend;
};

void PrintTo(const DrawnCase& c, std::ostream* os) {
    *os << c.name;
}

class NightChartDrawn : public ::testing::TestWithParam<DrawnCase> {};

// The legend names what is drawn and nothing else; an axis is there for what it measures.
TEST_P(NightChartDrawn, LegendAndAxesOnlyForWhatIsDrawn) {
    const DrawnCase& c = GetParam();
    Night night = MakeNight(c.sunAtMidnight);
    for (NightSample& s : night.samples) c.change(s);
    const NightChartLayout layout = LayOutNightChart(night, QSize(1200, 640), FixedText());
    ASSERT_TRUE(layout.hasPlot);
    std::vector<std::string> texts;
    for (const LegendEntry& e : layout.legend) texts.push_back(e.text.toStdString());
    EXPECT_THAT(texts, ElementsAreArray(c.legend));

    auto names = [&](const char* text) { return std::count(texts.begin(), texts.end(), text) > 0; };
    const bool altitudes = names("Sun") || names("Moon (10 % lit)");
    EXPECT_EQ(layout.altitudeAxis.ticks.empty(), !altitudes);
    EXPECT_EQ(layout.rightTitle.text.isEmpty(), !altitudes);
    EXPECT_EQ(layout.frame.cloudStrip.isEmpty(), !names("cloud cover"));
    EXPECT_EQ(layout.cloudAxis.ticks.empty(), !names("cloud cover"));
}

INSTANTIATE_TEST_SUITE_P(
    Nights, NightChartDrawn,
    ::testing::Values(
        // A single-channel logger without temperatures: no cloud cover.
        DrawnCase{"SingleChannel",
                  -50,
                  [](NightSample& s) {
                      s.mag.fill(0);
                      s.mag[kSingleChannel] = 21;
                      s.cloudCover = NAN;
                  },
                  {"MSAS", "Sun", "Moon (10 % lit)", "astronomical night", "twilight"}},
        // A data file read without the site: no Sun, no Moon and so no shading.
        DrawnCase{"NoSky",
                  -50,
                  [](NightSample& s) { s.sunAltitude = s.moonAltitude = s.moonIllumination = NAN; },
                  {"740 nm", "640 nm", "red", "green", "blue", "cloud cover"}},
        DrawnCase{"NoMoonAndTwilightAllNight",
                  -15,
                  [](NightSample& s) { s.moonAltitude = NAN; },
                  {"740 nm", "640 nm", "red", "green", "blue", "Sun", "cloud cover", "twilight"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NightChartLayout, CloudCoverHasAStripOfItsOwnUnderThePlot) {
    Night night = MakeNight();
    for (std::size_t i = 0; i < night.samples.size(); ++i) {
        night.samples[i].cloudCover = static_cast<float>(i) / 7;  // 100 % from 16:00 on
    }
    const NightChartLayout layout = LayOutNightChart(night, QSize(1200, 640), FixedText());
    const QRectF plot = layout.frame.plot, strip = layout.frame.cloudStrip;
    EXPECT_GT(strip.top(), plot.bottom());
    EXPECT_EQ(strip.left(), plot.left());
    EXPECT_EQ(strip.right(), plot.right());
    EXPECT_THAT(Labels(layout.cloudAxis), ElementsAre("0", "50", "100"));
    EXPECT_EQ(layout.cloudTitle.text, "cloud %");
    EXPECT_EQ(layout.rightTitle.text, "altitude °");
    // The labels at the gap between the panels keep apart.
    EXPECT_FALSE(layout.altitudeAxis.ticks.front().labelRect.intersects(
        layout.cloudAxis.ticks.back().labelRect));

    double highest = strip.bottom();
    for (const QPolygonF& run : layout.cloud.runs) {
        for (const QPointF& point : run) {
            EXPECT_GE(point.y(), strip.top());
            EXPECT_LE(point.y(), strip.bottom());
            highest = std::min(highest, point.y());
        }
    }
    EXPECT_NEAR(highest, strip.top(), 1e-6);
    for (const AxisTick& tick : layout.timeAxis.ticks) EXPECT_EQ(tick.mark.y1(), strip.bottom());
}

}  // namespace
}  // namespace noxa
