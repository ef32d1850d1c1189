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
    EXPECT_EQ(MonthlyCsvLine(months[0]),
              "a,2024-01,2,3,21.00,3,,0,20.00,3,,0,20.75,2,,0,0.75,2,cloud,4");
    EXPECT_EQ(MonthlyCsvLine(months[1]), "a,2024-02,1,0,,0,,0,,0,,0,,0,,0,,0,,0");
    EXPECT_EQ(months[2].instrument, "b");
}

// A single-channel logger gives no cloud cover: its months rest on the records whose sky was
// steady, or, without any such, on all its dark records, and say which.
TEST(MonthlyStatisticsTest, MonthsWithoutCloudCoverSayWhichRuleMadeTheirMedians) {
    const auto logger = [](std::vector<float> mags) {
        Night night = NightOf(QDate(2024, 3, 10), {});
        for (size_t i = 0; i < mags.size(); ++i) {
            NightSample s = Record(0, 0, -30, -5, kNaN);
            s.mag = {};
            s.mag[kSingleChannel] = mags[i];
            s.time = UtcMilliseconds(i) * 60000;
            night.samples.push_back(s);
        }
        return night;
    };
    std::vector<float> steadyThenCloudy(60, 21.24f);
    for (int i = 0; i < 60; ++i) steadyThenCloudy.push_back(i % 2 ? 19.f : 20.f);
    std::vector<float> cloudy(60);
    for (int i = 0; i < 60; ++i) cloudy[size_t(i)] = i % 2 ? 19.f : 20.5f;
    const struct {
        std::vector<float> mags;
        ClearRule rule;
        float median;
        int records;
    } cases[] = {{steadyThenCloudy, ClearRule::Steadiness, 21.24f, 45},  // 15 min off the clouds
                 {cloudy, ClearRule::DarkOnly, 19.75f, 60}};
    for (const auto& c : cases) {
        const auto months = ComputeMonthlyStatistics({logger(c.mags)}, 30);
        ASSERT_EQ(months.size(), 1u);
        EXPECT_EQ(months[0].rule, c.rule);
        EXPECT_EQ(months[0].median[kSingleChannel].value, c.median);
        EXPECT_EQ(months[0].darkClearRecords, c.records);
        EXPECT_EQ(months[0].darkRecords, int(c.mags.size()));
    }
}

TEST(MonthlyStatisticsTest, MergeReplacesTheSameMonthAndSorts) {
    const std::string existing = MonthlyCsvHeader() + "\nb,2024-01,old\r\na,2024-02,old\n";
    const std::string merged = MergeMonthlyCsv(existing, {"a,2024-02,new", "a,2024-01,new"});
    EXPECT_EQ(merged, MonthlyCsvHeader() + "\na,2024-01,new\na,2024-02,new\nb,2024-01,old\n");
}

}  // namespace
}  // namespace noxa
