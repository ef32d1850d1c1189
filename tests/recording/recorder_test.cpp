#include "recording/recorder.h"

#include "core/broadcast_decoder.h"
#include "core/day_tables.h"
#include "core/live_sums.h"
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
    // A counted report with channel 1's brightness and red's frequency.
    void AddReport(float mag, float freqRed) {
        DecodedReport report;
        report.observation[ChannelId::C740].mag = mag;
        report.observation[ChannelId::Red].freq = freqRed;
        sums.AddReport(report, clock.NowUtc());
    }
    void Seconds(int n) {
        for (int i = 0; i < n; ++i) recorder.CountSecond();
    }

    LiveSums sums;
    DayTables days;
    ManualClock clock{QDateTime(QDate(2023, 4, 9), QTime(22, 0, 5))};
    ObservationFeed feed;
    Recorder recorder{sums, days, clock, feed};
    std::vector<IntervalRecord> records;
};

TEST_F(RecorderTest, RecordsTheMeansOnceTheIntervalHasPassed) {
    Seconds(59);
    EXPECT_FALSE(recorder.RecordIfDue());
    EXPECT_EQ(recorder.SecondsCounted(), 59);
    const UtcMilliseconds start = clock.NowUtc();

    AddReport(20, 1);
    AddReport(22, 2);
    days.Newest().meanTIR = -12.5f;
    clock.Advance(61000);
    Seconds(2);
    EXPECT_TRUE(recorder.RecordIfDue());
    EXPECT_EQ(recorder.SecondsCounted(), 0);
    EXPECT_EQ(sums.Record().count, 0.0f);  // the record took the sums
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].start, start);
    EXPECT_EQ(records[0].end, start + 61000);
    EXPECT_EQ(records[0].localEnd, clock.Now());
    EXPECT_DOUBLE_EQ(records[0][ChannelId::C740].mag, 21.0);
    EXPECT_DOUBLE_EQ(records[0][ChannelId::Red].freq, 1.5);
    EXPECT_DOUBLE_EQ(records[0][ChannelId::Blue].mag, 0.0);
    EXPECT_FLOAT_EQ(records[0].dayTableSkyTemperature, -12.5f);
    EXPECT_EQ(records[0][ChannelId::Blue].reports, 2);
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
    AddReport(20, 1);
    EXPECT_TRUE(recorder.RecordIfDue());
    EXPECT_EQ(recorder.SecondsCounted(), 0);
    EXPECT_EQ(sums.Record().count, 1.0f);  // the record sums keep growing
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
