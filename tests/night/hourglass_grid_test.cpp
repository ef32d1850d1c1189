#include "night/hourglass_grid.h"
#include "night/night_digest.h"
#include "night/sky_colour_scale.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace noxa {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr UtcMilliseconds kMinute = 60000;

Night NightOf(QDate date) {
    Night night;
    night.date = date;
    night.zone = QTimeZone("Europe/Berlin");
    return night;
}

UtcMilliseconds LocalTime(const Night& night, int dayOffset, QTime time) {
    return QDateTime(night.date.addDays(dayOffset), time, night.zone).toMSecsSinceEpoch();
}

NightSample Record(UtcMilliseconds time, float mag, float sun = -30, float moon = -10) {
    NightSample s;
    s.time = time;
    s.mag[0] = mag;
    s.sunAltitude = sun, s.moonAltitude = moon;
    return s;
}

TEST(HourglassGridTest, SkyLightOfRecords) {
    const struct {
        float sun, moon;
        SkyLight light;
    } cases[] = {{-30, -5, SkyLight::Dark},       {-30, 5, SkyLight::MoonUp},
                 {-10, -5, SkyLight::Twilight},   {-18, -5, SkyLight::Twilight},
                 {-10, kNaN, SkyLight::Twilight}, {kNaN, -5, SkyLight::Unknown},
                 {-30, kNaN, SkyLight::Unknown}};
    for (const auto& c : cases)
        EXPECT_EQ(SkyLightOf(Record(0, 20, c.sun, c.moon)), c.light) << c.sun << " " << c.moon;
}

TEST(HourglassGridTest, CellsOfRecords) {
    const Night night = NightOf(QDate(2024, 3, 10));
    const HourglassLayout layout;  // 16:00 to 08:00 in rows of 5 minutes
    const struct {
        int dayOffset;
        QTime end;
        UtcMilliseconds span;
        std::optional<int> firstRow, lastRow;
    } cases[] = {
        {0, QTime(16, 5), 5 * kMinute, 0, 0},    {0, QTime(22, 1), kMinute, 72, 72},
        {1, QTime(0, 10), 10 * kMinute, 96, 97}, {1, QTime(7, 59), kMinute, 191, 191},
        {0, QTime(16, 3), 10 * kMinute, 0, 0},   {0, QTime(15, 0), kMinute, {}, {}},
        {1, QTime(8, 30), kMinute, {}, {}},
    };
    for (const auto& c : cases) {
        const auto cells =
            HourglassCellsOf(night, LocalTime(night, c.dayOffset, c.end), c.span, 2024, layout);
        ASSERT_EQ(cells.has_value(), c.firstRow.has_value()) << c.end.toString().toStdString();
        if (!cells) continue;
        EXPECT_EQ(cells->column, 69);  // 10 March of a leap year
        EXPECT_EQ(cells->firstRow, *c.firstRow) << c.end.toString().toStdString();
        EXPECT_EQ(cells->lastRow, *c.lastRow) << c.end.toString().toStdString();
    }
    EXPECT_FALSE(HourglassCellsOf(night, LocalTime(night, 0, QTime(22, 0)), kMinute, 2023, layout));
}

TEST(HourglassGridTest, CellTakesMedianAndLeastDarkLight) {
    Night night = NightOf(QDate(2024, 1, 5));
    const UtcMilliseconds start = LocalTime(night, 0, QTime(22, 0));
    night.samples = {Record(start + kMinute, 21), Record(start + 2 * kMinute, 0),
                     Record(start + 3 * kMinute, 20, -30, 5), Record(start + 4 * kMinute, 19),
                     Record(start + 6 * kMinute, 21.5)};
    const HourglassGrid grid = BuildHourglassGrid({&night}, 2024);
    EXPECT_EQ(grid.columns, 366);
    const HourglassCell& first = grid.At(4, 72);
    EXPECT_EQ(first.records, 4);
    EXPECT_FLOAT_EQ(*first.mag, 20);  // the record without a value left out
    EXPECT_EQ(first.light, SkyLight::MoonUp);
    EXPECT_EQ(grid.At(4, 73).light, SkyLight::Dark);
    EXPECT_FALSE(grid.At(5, 72).mag);
}

TEST(HourglassGridTest, RecordSpanIsTheUsualIntervalAtMostHalfAnHour) {
    Night night = NightOf(QDate(2024, 1, 5));
    for (UtcMilliseconds t : {0, 10, 20, 30, 200}) night.samples.push_back(Record(t * kMinute, 20));
    EXPECT_EQ(RecordSpan(night), 10 * kMinute);
    night.samples.resize(2);
    night.samples[1].time = 120 * kMinute;
    EXPECT_EQ(RecordSpan(night), 30 * kMinute);
}

TEST(HourglassGridTest, SingleChannelLoggerShowsItsOwnChannel) {
    Night night = NightOf(QDate(2024, 1, 5));
    NightSample s = Record(LocalTime(night, 0, QTime(22, 0)), 0);
    s.mag[kSingleChannel] = 20.5f;
    night.samples = {s};
    EXPECT_EQ(BuildHourglassGrid({&night}, 2024).channel, kSingleChannel);
    night.samples[0].mag[0] = 20;
    EXPECT_EQ(BuildHourglassGrid({&night}, 2024).channel, 0);
}

// The hour the clocks skip is marked as such, not left as a gap in the records.
TEST(HourglassGridTest, TheSpringForwardHourIsMarkedAsTheClockChange) {
    Night night = NightOf(QDate(2024, 3, 30));  // Berlin: 02:00 became 03:00 on the 31st
    for (UtcMilliseconds t = LocalTime(night, 0, QTime(20, 0));
         t <= LocalTime(night, 1, QTime(6, 0)); t += 5 * kMinute)
        night.samples.push_back(Record(t, 21));
    const HourglassGrid grid = BuildHourglassGrid({&night}, 2024);
    const int column = night.date.dayOfYear() - 1;
    for (int row = 118; row < 134; ++row) {
        const bool skipped = row >= 120 && row < 132;  // 02:00 to 03:00
        EXPECT_EQ(grid.At(column, row).light == SkyLight::ClockChange, skipped) << row;
        EXPECT_EQ(grid.At(column, row).records == 0, skipped) << row;
    }
    EXPECT_NE(grid.At(column - 1, 125).light, SkyLight::ClockChange);
}

// What a folder keeps of a year comes back as it was; bytes of another layout or cut short
// are refused.
TEST(NightDigestTest, DigestsComeBackAsTheyWere) {
    Night night = NightOf(QDate(2024, 3, 30));
    for (int i = 0; i < 300; ++i) {
        NightSample s = Record(LocalTime(night, 0, QTime(18, 0)) + i * kMinute, 20 + i % 7 * 0.1f,
                               i < 100 ? -10.f : -30.f, -5);
        s.mag[kSingleChannel] = 19;
        s.cloudCover = i % 3 ? 10 : kNaN;
        night.samples.push_back(s);
    }
    const std::vector<NightDigest> digests = {DigestNight(night)};
    ASSERT_EQ(digests[0].dark.size(), 200u);
    const HourglassLayout layout;
    const QByteArray bytes = EncodeDigests(digests, layout);
    const auto back = DecodeDigests(bytes, layout);
    ASSERT_TRUE(back);
    EXPECT_EQ(EncodeDigests(*back, layout), bytes);
    EXPECT_EQ((*back)[0].Date(), night.date);
    EXPECT_FALSE(DecodeDigests(bytes.left(bytes.size() - 3), layout));
    EXPECT_FALSE(DecodeDigests(bytes, HourglassLayout{.minutesPerRow = 10}));
}

TEST(SkyColourScaleTest, DarkerSkyIsDarkerColourAndEndsClamp) {
    const SkyColourScale scale;
    int previous = 256;
    for (float mag = 16; mag <= 22; mag += 0.5f) {
        const int lightness = qGray(scale.Colour(mag));
        EXPECT_LT(lightness, previous) << mag;
        previous = lightness;
    }
    EXPECT_EQ(scale.Colour(25), scale.Colour(22));
    EXPECT_EQ(scale.Colour(10), scale.Colour(16));
    EXPECT_EQ(qRed(scale.Grey(19)), qBlue(scale.Grey(19)));
}

}  // namespace
}  // namespace noxa
