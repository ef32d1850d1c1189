#include "core/live_sums.h"

#include "core/broadcast_decoder.h"
#include "core/readings.h"

#include <gtest/gtest.h>

#include <limits>

namespace noxa {
namespace {

DecodedReport AReport() {
    DecodedReport report;
    Observation& o = report.observation;
    o[ChannelId::C740] = {21.34f, 1234.5f, 20.37f};
    o[ChannelId::C640].mag = 20.9f;
    o[ChannelId::Green] = {25.0f, 0.0f, 0.0f};
    o.skyTemperature = -15.3f;
    o.sensorTemperature = 10.25f;
    return report;
}

TEST(LiveSums, AddsEveryCountedReportToBothSetsOfSumsUntilTheyAreTaken) {
    LiveSums sums;
    sums.Tick();
    DecodedReport unread = AReport();
    unread.unread = Bit(Reading::SkyTemperature);
    sums.AddReport(AReport(), 5000);
    sums.AddReport(unread, 6000);
    EXPECT_EQ(sums.TicksSinceReport(), 0);
    EXPECT_FLOAT_EQ(sums.Latest()[0].zeroPoint, 20.37f);

    const ChartSums chart = sums.TakeChartSums();
    EXPECT_EQ(chart.count, 2.0f);
    EXPECT_FLOAT_EQ(chart.mag[0], 2 * 21.34f);
    EXPECT_FLOAT_EQ(chart.mag[3], 50.0f);  // green's 25 is summed like any value
    EXPECT_FLOAT_EQ(chart.sensorTemperature, 2 * 10.25f);
    EXPECT_EQ(chart.firstReport, 5000);
    EXPECT_EQ(chart.unread, Bit(Reading::SkyTemperature));
    EXPECT_EQ(sums.Chart().count, 0.0f);
    EXPECT_EQ(sums.Record().count, 2.0f);  // each set is taken on its own

    const RecordSums record = sums.TakeRecordSums();
    EXPECT_FLOAT_EQ(record.mag[1], 2 * 20.9f);
    EXPECT_FLOAT_EQ(record.freq[0], 2 * 1234.5f);
    EXPECT_EQ(sums.Record().count, 0.0f);
}

TEST(LiveSums, AReportThatIsNotCountedIsTheLatestButNotSummed) {
    LiveSums sums;
    sums.Tick();
    DecodedReport report = AReport();
    report.observation.sensorTemperature = std::numeric_limits<float>::infinity();
    report.observation.counted = false;
    report.observation[ChannelId::Blue].zeroPoint = 19.4f;
    sums.AddReport(report, 5000);
    EXPECT_EQ(sums.Latest()[4].zeroPoint, 19.4f);
    EXPECT_EQ(sums.Chart().count, 0.0f);
    EXPECT_FALSE(sums.Chart().firstReport);
    EXPECT_EQ(sums.Record().count, 0.0f);
    EXPECT_EQ(sums.TicksSinceReport(), 0);
}

}  // namespace
}  // namespace noxa
