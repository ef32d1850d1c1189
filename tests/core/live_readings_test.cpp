#include "core/live_readings.h"

#include "core/observation.h"

#include <gtest/gtest.h>

#include <limits>

namespace noxa {
namespace {

Observation AReport() {
    Observation o;
    o.magV = 21.34f;
    o.magV2 = 20.9f;
    o.magG = 25.0f;
    o.freq1 = 1234.5f;
    o.freqG = 0.0f;
    o.zeroPoint1 = 20.37f;
    o.skyTemperature = -15.3f;
    o.sensorTemperature = 10.25f;
    return o;
}

TEST(AddReport, AddsEveryCountedReportToBothSetsOfSums) {
    LiveReadings readings;
    readings.rxTicks = 7;
    AddReport(readings, AReport());
    AddReport(readings, AReport());
    EXPECT_EQ(readings.chart.count, 2.0f);
    EXPECT_EQ(readings.chart.countTIR, 2.0f);
    EXPECT_EQ(readings.chart.countTSens, 2.0f);
    EXPECT_EQ(readings.record.count740, 2.0f);
    EXPECT_EQ(readings.record.countR, 2.0f);
    EXPECT_EQ(readings.record.countG, 2.0f);
    EXPECT_EQ(readings.record.countB, 2.0f);
    EXPECT_FLOAT_EQ(readings.chart.sumMv740, 2 * 21.34f);
    EXPECT_FLOAT_EQ(readings.chart.sumMvG, 50.0f);  // green's 25 is summed like any value
    EXPECT_FLOAT_EQ(readings.chart.sumTSens, 2 * 10.25f);
    EXPECT_FLOAT_EQ(readings.record.sumMv640, 2 * 20.9f);
    EXPECT_FLOAT_EQ(readings.record.sumFrec740, 2 * 1234.5f);
    EXPECT_FLOAT_EQ(readings.ci1, 20.37f);
    EXPECT_EQ(readings.rxTicks, 0);
}

TEST(AddReport, AReportThatIsNotCountedIsTheLatestButNotSummed) {
    LiveReadings readings;
    readings.rxTicks = 7;
    Observation o = AReport();
    o.sensorTemperature = std::numeric_limits<float>::infinity();
    o.counted = false;
    AddReport(readings, o);
    EXPECT_EQ(readings.tSens, o.sensorTemperature);
    EXPECT_EQ(readings.chart.count, 0.0f);
    EXPECT_EQ(readings.chart.sumTSens, 0.0f);
    EXPECT_EQ(readings.record.count740, 0.0f);
    EXPECT_EQ(readings.rxTicks, 0);
}

}  // namespace
}  // namespace noxa
