#include "recording/recorder.h"

#include "core/day_tables.h"
#include "core/live_readings.h"
#include "core/observation_feed.h"
#include "time/station_clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace noxa {
namespace {

class RecorderTest : public ::testing::Test {
protected:
    RecorderTest() {
        QObject::connect(&feed, &ObservationFeed::recorded,
                         [this](const IntervalRecord& record) { records.push_back(record); });
    }
    void Seconds(int n) {
        for (int i = 0; i < n; ++i) recorder.CountSecond();
    }

    LiveReadings readings;
    DayTables days;
    ManualClock clock{QDateTime(QDate(2023, 4, 9), QTime(22, 0, 5))};
    ObservationFeed feed;
    Recorder recorder{readings, days, clock, feed};
    std::vector<IntervalRecord> records;
};

TEST_F(RecorderTest, RecordsTheMeansOnceTheIntervalHasPassed) {
    Seconds(59);
    EXPECT_FALSE(recorder.RecordIfDue());
    EXPECT_EQ(recorder.SecondsCounted(), 59);
    const UtcMilliseconds start = clock.NowUtc();

    readings.record.count740 = readings.record.countR = 2;
    readings.record.sumMv740 = 42;
    readings.record.sumFrecR = 3;
    days.Newest().meanTIR = -12.5f;
    clock.Advance(61000);
    Seconds(2);
    EXPECT_TRUE(recorder.RecordIfDue());
    EXPECT_EQ(recorder.SecondsCounted(), 0);
    EXPECT_EQ(readings.record.count740, 0.0f);  // the record took the sums
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].start, start);
    EXPECT_EQ(records[0].end, start + 61000);
    EXPECT_EQ(records[0].localEnd, clock.Now());
    EXPECT_DOUBLE_EQ(records[0].magV, 21.0);
    EXPECT_DOUBLE_EQ(records[0].freqR, 1.5);
    EXPECT_DOUBLE_EQ(records[0].magB, 0.0);  // no reports of its own
    EXPECT_FLOAT_EQ(records[0].dayTableSkyTemperature, -12.5f);
    EXPECT_EQ(records[0].reports, 2);
    EXPECT_EQ(records[0].reportsB, 0);
}

TEST_F(RecorderTest, TemperaturesAreKnownOnlyFromAChartPointThatMeasuredThem) {
    recorder.SetIntervalSeconds(0);
    days.Newest().meanTSens = 3.5f;  // the saved history's
    recorder.RecordIfDue();          // before this run's first chart point
    EXPECT_FALSE(records.back().sensorTemperature.has_value());
    EXPECT_FLOAT_EQ(records.back().dayTableSensorTemperature, 3.5f);  // as the data file prints

    const auto afterChartPoint = [&](float sensor, float sky) {
        ChartPoint point;
        point.sensorTemperature = sensor, point.skyTemperature = sky;
        emit feed.chartPointAdded(point);
        recorder.RecordIfDue();
        return records.back();
    };
    const IntervalRecord measured = afterChartPoint(4, -20);
    EXPECT_EQ(measured.sensorTemperature, 4.f);
    EXPECT_EQ(measured.skyTemperature, -20.f);
    EXPECT_FALSE(afterChartPoint(NAN, NAN).skyTemperature.has_value());  // the sensors gave none
}

TEST_F(RecorderTest, ARecordDueWithRecordingDisabledOnlyRestartsTheCount) {
    recorder.SetEnabled(false);
    Seconds(60);
    readings.record.count740 = 1;
    EXPECT_TRUE(recorder.RecordIfDue());
    EXPECT_EQ(recorder.SecondsCounted(), 0);
    EXPECT_EQ(readings.record.count740, 1.0f);  // nothing zeroes the record sums
    EXPECT_TRUE(records.empty());
}

TEST_F(RecorderTest, AnIntervalOfNoSecondsMakesEveryReportDue) {
    recorder.SetIntervalSeconds(0);
    EXPECT_TRUE(recorder.RecordIfDue());
    EXPECT_TRUE(recorder.RecordIfDue());
    EXPECT_EQ(records.size(), 2u);
}

TEST_F(RecorderTest, TheCountStartsAgainAfterAnHour) {
    Seconds(3600);
    EXPECT_EQ(recorder.SecondsCounted(), 3600);
    Seconds(1);
    EXPECT_EQ(recorder.SecondsCounted(), 0);
}

}  // namespace
}  // namespace noxa
