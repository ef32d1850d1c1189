#include "time/sky_time.h"

#include "core/number_display.h"
#include "core/station_locale.h"
#include "time/date_time.h"
#include "time/station_clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace noxa {
namespace {

const StationLocale kPoint = StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", ".");

QDateTime At(int year, int month, int day, int hour, int minute, int second) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

TEST(ParseIsoDateTime, ReadsTheEpochAndRefusesBadTexts) {
    double value = 0;
    EXPECT_EQ(ParseIsoDateTime("2000-01-01T11:58:56", value), 0);
    EXPECT_DOUBLE_EQ(value, 36526.49925925926);
    EXPECT_DOUBLE_EQ(J2000Epoch(), 36526.49925925926);

    value = 7;
    for (const char* bad : {"2000-13-01T11:58:56", "2000-02-30T00:00:00", "2000-01-01T24:00:00",
                            "2000-01-01T11:58:5x", "2000-01-01 11:58:56", "2000/01/01T11:58:56",
                            "x-01-01T11:58:56", "2000-01-01T11:58", "--T::"}) {
        EXPECT_EQ(ParseIsoDateTime(bad, value), -1) << bad;
        EXPECT_EQ(value, 7) << bad;
    }
    EXPECT_EQ(ParseIsoDateTime("", value), 0);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(ParseIsoDateTime("1899-12-30T00:00:00", value), 0);
    EXPECT_EQ(value, 0);
}

TEST(DayNumbers, RoundTripThroughQtDateTimes) {
    const QDateTime t = At(2023, 4, 9, 22, 0, 5).addMSecs(250);
    EXPECT_EQ(ToDayNumber(t), 45025 + (22 * 3600 + 5.25) / 86400);
    const QDateTime back = FromDayNumber(ToDayNumber(t));
    EXPECT_EQ(back.date(), t.date());
    EXPECT_EQ(back.time(), t.time());
    EXPECT_EQ(FromDayNumber(45025.999999999).date(),
              QDate(2023, 4, 10));  // rounds into the next day
}

struct SkyCase {
    QDateTime clock;
    float longitude;
    double j2000Day;
    const char* shownDay;
    float sidereal;
    const char* shownSidereal;
};

TEST(SkyTime, GivesTheJ2000DayAndSiderealTime) {
    const SkyCase cases[] = {
        {At(2000, 1, 1, 11, 58, 56), 0.0f, 0.0, "0", 280.19333f, "18:40:46"},
        {At(2023, 4, 9, 22, 0, 0), -3.7f, 8499.417407, "8499.41741", 164.18555f, "10:56:44"},
        {At(2024, 1, 1, 0, 0, 0), 0.0f, 8765.500741, "8765.50074", 100.14941f, "06:40:35"},
    };
    for (const SkyCase& c : cases) {
        ManualClock clock(c.clock);
        SkyTime sky(clock);
        EXPECT_NEAR(sky.J2000Day(), c.j2000Day, 1e-6) << c.shownDay;
        EXPECT_EQ(FormatRounded(sky.J2000Day(), 5, kPoint), c.shownDay);
        const float degrees = sky.SiderealDegrees(c.longitude);
        EXPECT_NEAR(degrees, c.sidereal, 1.0f / 512) << c.shownDay;
        EXPECT_EQ(SiderealText(degrees), c.shownSidereal);
    }
}

TEST(SkyTime, FifteenDegreesEastIsOneHourLater) {
    ManualClock clock(At(2023, 4, 9, 22, 0, 0));
    SkyTime sky(clock);
    const float west = sky.SiderealDegrees(-3.7f);
    const float east = sky.SiderealDegrees(11.3f);
    EXPECT_NEAR(std::fmod(east - west + 360.0f, 360.0f), 15.0f, 1.0f / 256);
}

TEST(SkyTime, AnAbsurdLongitudeNeverHangsTheStation) {
    ManualClock clock(At(2023, 4, 9, 22, 0, 0));
    SkyTime sky(clock);
    EXPECT_LE(sky.SiderealDegrees(1e20f), 360.0f);
    EXPECT_LE(sky.SiderealDegrees(3e8f), 360.0f);
    EXPECT_EQ(SiderealText(sky.SiderealDegrees(std::numeric_limits<float>::infinity())),
              "--:--:--");
    EXPECT_EQ(SiderealText(sky.SiderealDegrees(std::numeric_limits<float>::quiet_NaN())),
              "--:--:--");
    EXPECT_EQ(SiderealText(sky.SiderealDegrees(-1e30f)), "--:--:--");
}

TEST(SiderealText, CutsEachPartFromSinglePrecisionValues) {
    EXPECT_EQ(SiderealText(106.2875), "07:05:09");
    EXPECT_EQ(SiderealText(45.25), "03:00:59");
    EXPECT_EQ(SiderealText(0.0f), "00:00:00");
    EXPECT_EQ(SiderealText(360.0f), "24:00:00");
    EXPECT_EQ(SiderealText(-20000.0), "--:--:--");  // no angle: an absurd longitude
}

}  // namespace
}  // namespace noxa
