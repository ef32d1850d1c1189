#include "recording/chart_points.h"

#include "core/broadcast_decoder.h"
#include "core/day_tables.h"
#include "core/live_sums.h"
#include "core/sky_quality.h"
#include "time/date_time.h"
#include "time/station_clock.h"

#include <gtest/gtest.h>

#include <memory>

namespace noxa {
namespace {

class ChartPointTest : public ::testing::Test {
protected:
    void Report(float mv740, float tSens, float tIR) {
        DecodedReport report;
        Observation& o = report.observation;
        for (std::size_t i = 0; i < kChannelCount; ++i) o.channels[i].mag = mv740 + float(i);
        o.sensorTemperature = tSens;
        o.skyTemperature = tIR;
        sums.AddReport(report, clock.NowUtc());
    }
    void Point() { AddChartPoint(*days, sums.TakeChartSums(), clock); }

    std::unique_ptr<DayTables> days = std::make_unique<DayTables>();
    LiveSums sums;
    ManualClock clock{QDateTime(QDate(2023, 4, 9), QTime(22, 0, 30))};
};

TEST_F(ChartPointTest, TheNewestSlotTakesTheIntervalMeans) {
    Report(20.0f, 10, -20);
    Report(21.0f, 10, -20);
    Point();
    const DaySlot& point = days->Newest();
    EXPECT_FLOAT_EQ(point.meanMv740, 20.5f);
    EXPECT_FLOAT_EQ(point.meanMv640, 21.5f);
    EXPECT_FLOAT_EQ(point.meanMvB, 24.5f);
    EXPECT_EQ(point.nelm, NelmFromMag(20.5f));
    EXPECT_FLOAT_EQ(point.cloudIndex, 10.0f);
    EXPECT_EQ(point.date, 45025.0);  // 9 April 2023
    EXPECT_NEAR(point.time, (22 * 3600 + 30) / 86400.0, 1e-9);
}

TEST_F(ChartPointTest, ASkyWarmerThanTheSensorIsStoredAs99) {
    Report(21, 10, 12);
    Point();
    EXPECT_EQ(days->Newest().cloudIndex, 99.0f);
    Report(21, 5, 5);
    Point();
    EXPECT_EQ(days->Newest().cloudIndex, 100.0f);  // 100 itself stays
}

TEST_F(ChartPointTest, AnIntervalWithoutReportsRepeatsThePreviousPoint) {
    Report(21, 10, 12);
    Point();
    const DaySlot first = days->Newest();
    clock.Advance(60000);
    Point();
    const DaySlot& second = days->Newest();
    EXPECT_EQ(second.meanMv740, first.meanMv740);
    EXPECT_EQ(second.meanMvG, first.meanMvG);
    EXPECT_EQ(second.nelm, first.nelm);
    EXPECT_EQ(second.meanTIR, first.meanTIR);
    EXPECT_EQ(second.cloudIndex, 99.0f);
    EXPECT_GT(second.time, first.time);
    EXPECT_EQ(days->slot[1438].time, first.time);
}

TEST_F(ChartPointTest, AReportCountsInExactlyOnePoint) {
    Report(20, 10, 0);
    Point();
    Report(22, 10, 0);
    Point();
    EXPECT_FLOAT_EQ(days->slot[1438].meanMv740, 20.0f);
    EXPECT_FLOAT_EQ(days->Newest().meanMv740, 22.0f);
}

}  // namespace
}  // namespace noxa
