#include "night/night_chart.h"

#include "night/test_nights.h"
#include "support/temp_dir.h"

#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

#include <map>

namespace noxa {
namespace {

using test::MakeNight;

int Darkness(QRgb pixel) {
    return 255 - qGray(pixel);
}

// The most common pixel of a short stretch of a row, so that a grid line does not count.
QRgb RowColour(const QImage& image, int x, int y) {
    std::map<QRgb, int> counts;
    for (int dx = -10; dx <= 10; ++dx) ++counts[image.pixel(x + dx, y)];
    return std::max_element(counts.begin(), counts.end(),
                            [](auto& a, auto& b) { return a.second < b.second; })
        ->first;
}

// How strongly a pixel shows the blue or the green line: that colour's lead over the others.
int Blueness(QColor c) {
    return c.blue() - std::max(c.red(), c.green());
}
int Greenness(QColor c) {
    return c.green() - std::max(c.red(), c.blue());
}

// The row that shows a line most in the columns from `x` on, as wide as a dash and its gap,
// searched below the legend.
int LineRow(const QImage& image, int x, int (*score)(QColor)) {
    int best = -1, bestScore = 20;
    for (int column = x; column < x + 10; ++column) {
        for (int y = image.height() / 5; y < image.height() * 19 / 20; ++y) {
            const int s = score(image.pixelColor(column, y));
            if (s > bestScore) {
                bestScore = s;
                best = y;
            }
        }
    }
    return best;
}

TEST(NightChart, ShadesAstronomicalNightDarkerThanTwilightAndDay) {
    // The span runs from sunset to sunrise, so the middle is deep night and the plot's left end
    // lies before sunset.
    const QImage deep = DrawNightChart(MakeNight(-50));
    ASSERT_EQ(deep.size(), QSize(1200, 640));
    const int y = 160, middle = deep.width() / 2;
    const QRgb night = RowColour(deep, middle, y);
    EXPECT_GT(Darkness(night), 20);
    bool day = false;
    for (int x = middle; x > 0 && !day; --x) day = deep.pixel(x, y) == qRgb(255, 255, 255);
    EXPECT_TRUE(day) << "no daylight before the night";

    // A night whose Sun stays above -18°: twilight all night, lighter than astronomical night.
    const QImage light = DrawNightChart(MakeNight(-15));
    const QRgb twilight = RowColour(light, middle, y);
    EXPECT_GT(Darkness(twilight), 5);
    EXPECT_LT(Darkness(twilight), Darkness(night));
}

TEST(NightChart, DarkerSkyPlotsHigherAndGapsStayEmpty) {
    Night night = MakeNight();
    for (std::size_t i = 0; i < night.samples.size(); ++i) {
        // Blue darkens at midnight, green stays, 640 nm has no reading or is unknown.
        night.samples[i].mag = {22, i % 2 ? 0 : NAN, 16, 20, i < 720 ? 18.0f : 21.0f};
    }
    // Two hours without records from 02:00.
    night.samples.erase(night.samples.begin() + 840, night.samples.begin() + 960);
    const QImage image = DrawNightChart(night);

    const int evening = LineRow(image, image.width() * 3 / 10, Blueness);
    const int morning = LineRow(image, image.width() * 8 / 10, Blueness);
    ASSERT_GT(evening, 0);
    ASSERT_GT(morning, 0);
    EXPECT_LT(morning, evening) << "the darker sky must plot higher";

    // The green line breaks for the gap: about a sixth of the night's width.
    const int y = LineRow(image, image.width() * 3 / 10, Greenness);
    ASSERT_GT(y, 0);
    int run = 0, longest = 0;
    for (int x = image.width() / 10; x < image.width() * 9 / 10; ++x) {
        const bool line =
            Greenness(image.pixelColor(x, y)) > 15 || Greenness(image.pixelColor(x, y + 1)) > 15;
        run = line ? 0 : run + 1;
        longest = std::max(longest, run);
    }
    EXPECT_GT(longest, 100);
    EXPECT_LT(longest, 300);
}

TEST(NightChart, CloudCoverFillsItsOwnStripAndHidesNoCurve) {
    Night overcast = MakeNight();
    for (NightSample& s : overcast.samples) s.cloudCover = 100;
    const QImage clear = DrawNightChart(MakeNight()), cloudy = DrawNightChart(overcast);
    // The plot, from the legend down to the horizon and beyond, is the same under clouds.
    const QRect plot(0, 60, clear.width(), clear.height() * 3 / 4 - 60);
    EXPECT_EQ(clear.copy(plot), cloudy.copy(plot));
    // The strip at the bottom shows them.
    const int x = clear.width() / 2, y = clear.height() - 40;
    EXPECT_GT(Darkness(RowColour(cloudy, x, y)), Darkness(RowColour(clear, x, y)) + 40);
}

TEST(NightChart, EmptyNightSaysNoRecords) {
    Night empty;
    empty.date = QDate(2024, 3, 10);
    const QImage image = DrawNightChart(empty, QSize(600, 300));
    ASSERT_EQ(image.size(), QSize(600, 300));
    int dark = 0;
    for (int y = 100; y < 200; ++y) {
        for (int x = 0; x < 600; ++x) dark += Darkness(image.pixel(x, y)) > 100;
    }
    EXPECT_GT(dark, 20) << "the text is missing";
    DrawNightChart(empty, QSize(0, 0));
    DrawNightChart(empty, QSize(40, 20));
    DrawNightChart(MakeNight(), QSize(40, 20));
}

TEST(NightChart, APainterDrawsEachNightAsAFreshOneWould) {
    // What a painter keeps from chart to chart (laid-out labels, its lines' working space)
    // must not show on the next chart, after a night of another kind too.
    Night overcast = MakeNight(), empty;
    for (NightSample& s : overcast.samples) s.cloudCover = 100;
    empty.date = QDate(2024, 3, 10);
    NightChartPainter painter;
    for (const Night& night : {MakeNight(-50), overcast, empty, MakeNight(-15), empty}) {
        EXPECT_EQ(painter.Draw(night), DrawNightChart(night));
    }
}

TEST(NightChart, SavesAWholePngAndReportsAFailure) {
    test::ScopedWorkDir dir;
    const QString path = dir.Path() + "/charts/2024/2024-03-10.png";
    QString error;
    ASSERT_TRUE(SaveNightChart(MakeNight(), path, error)) << error.toStdString();
    const QImage back(path);
    EXPECT_EQ(back.convertToFormat(QImage::Format_RGB888), DrawNightChart(MakeNight()))
        << "the file holds other pixels than the chart drawn";
    EXPECT_LT(QFile(path).size(), 150 * 1024);

    QFile blocker(dir.Path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(SaveNightChart(MakeNight(), dir.Path() + "/file/night.png", error));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace noxa
