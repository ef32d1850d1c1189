#include "night/monthly_statistics.h"

#include <gtest/gtest.h>

#include <limits>

namespace noxa {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

NightSample Record(float red, float blue, float sun = -30, float moon = -5, float cloud = 10) {
    NightSample s;
    s.mag[0] = 21;
    s.mag[2] = red;
    s.mag[4] = blue;
    s.sunAltitude = sun, s.moonAltitude = moon, s.cloudCover = cloud;
    return s;
}

Night NightOf(QDate date, std::vector<NightSample> samples, std::string instrument = "a") {
    Night night;
    night.date = date;
    night.samples = std::move(samples);
    night.instrument = std::move(instrument);
    return night;
}

TEST(MonthlyStatisticsTest, DarkClearRecords) {
    const struct {
        float sun, moon, cloud;
        bool darkClear;
    } cases[] = {{-30, -5, 10, true},   {-30, -5, 30, true},   {-30, -5, 31, false},
                 {-17, -5, 10, false},  {-30, 1, 10, false},   {-30, -5, kNaN, false},
                 {kNaN, -5, 10, false}, {-30, kNaN, 10, false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsDarkClear(Record(20, 20, c.sun, c.moon, c.cloud), 30), c.darkClear)
            << c.sun << " " << c.moon << " " << c.cloud;
}

TEST(MonthlyStatisticsTest, MonthsOfInstrumentsWithMediansAndColourIndex) {
    const std::vector<Night> nights = {
        NightOf(QDate(2024, 1, 31), {Record(20, 21), Record(21, 0), Record(22, 22, -10)}),
        NightOf(QDate(2024, 1, 3), {Record(19, 20.5f), Record(20, 19, -30, -5, 80)}),
        NightOf(QDate(2024, 2, 1), {Record(20, 21, -10)}),
        NightOf(QDate(2024, 1, 3), {Record(20, 21)}, "b"),
    };
    const auto months = ComputeMonthlyStatistics(nights, 30);
    ASSERT_EQ(months.size(), 3u);
    EXPECT_EQ(MonthlyCsvLine(months[0]), "a,2024-01,2,3,21.00,3,,0,20.00,3,,0,20.75,2,,0,0.75,2");
    EXPECT_EQ(MonthlyCsvLine(months[1]), "a,2024-02,1,0,,0,,0,,0,,0,,0,,0,,0");
    EXPECT_EQ(months[2].instrument, "b");
}

TEST(MonthlyStatisticsTest, MergeReplacesTheSameMonthAndSorts) {
    const std::string existing = MonthlyCsvHeader() + "\nb,2024-01,old\r\na,2024-02,old\n";
    const std::string merged = MergeMonthlyCsv(existing, {"a,2024-02,new", "a,2024-01,new"});
    EXPECT_EQ(merged, MonthlyCsvHeader() + "\na,2024-01,new\na,2024-02,new\nb,2024-01,old\n");
}

}  // namespace
}  // namespace noxa
