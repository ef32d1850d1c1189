#include "core/observation_feed.h"
#include "outputs/common/latest_readings.h"
#include "outputs/common/metrics_text.h"
#include "outputs/common/readings_json.h"
#include "outputs/common/safety_rule.h"
#include "outputs/common/shortest_decimal.h"
#include "outputs/common/station_status.h"
#include "outputs/common/station_view.h"
#include "support/log_lines.h"
#include "time/station_clock.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace noxa {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class ReadingsOutputTest : public ::testing::Test {
protected:
    QJsonObject Json() { return QJsonDocument::fromJson(ReadingsJson(View())).object(); }
    StationView View() const { return {readings, rule, status}; }

    void Observe(float cloudIndex = 106, float magV = 21.34f) {
        Observation o;
        o.time = clock.NowUtc();
        o.station = "roof\"1";
        o.magV = magV;
        o.magV2 = 20.9f;
        o.magR = 20.8f;
        o.magG = 12.5f;
        o.magB = std::numeric_limits<float>::quiet_NaN();
        o.freq1 = 1234.5678f;
        o.sensorTemperature = 10.25f;
        o.skyTemperature = -15.3f;
        o.nelm = 6.1f;
        o.cloudIndex = cloudIndex;
        o.sunAltitude = -18.25f;
        o.moonAltitude = 41.5f;
        o.moonIllumination = 0.875f;
        emit feed.observed(o);
    }

    ManualClock clock{QDateTime(QDate(2026, 3, 1), QTime(22, 30), Qt::UTC)};
    ObservationFeed feed;
    StationStatus status{feed, clock};
    LatestReadings readings{feed, clock};
    std::vector<std::string> log;
    SafetyRule rule{readings, Limits(), test::KeepIn(log)};

private:
    static SafetyLimits Limits() {
        SafetyLimits limits;
        limits.brightestSky = 19.0f;
        return limits;
    }
};

TEST_F(ReadingsOutputTest, JsonIsNullBeforeTheFirstReportThenCarriesItsNumbers) {
    QJsonObject json = Json();
    EXPECT_TRUE(json["mag_v"].isNull());
    EXPECT_TRUE(json["time"].isNull());
    EXPECT_TRUE(json["age_s"].isNull());
    EXPECT_FALSE(json["link_ok"].toBool());

    Observe();
    emit feed.linkStatus(LinkStatus{true, 0});
    clock.Advance(2500);
    json = Json();
    EXPECT_EQ(json["time"].toString(), "2026-03-01T22:30:00.000Z");
    EXPECT_EQ(json["station"].toString(), "roof\"1");
    EXPECT_EQ(json["mag_v"].toDouble(), 21.34);  // the digits that came, not the float's
    EXPECT_EQ(json["freq_1"].toDouble(), 1234.568);
    EXPECT_TRUE(json["mag_b"].isNull());             // no number: null, never NaN
    EXPECT_EQ(json["cloud_cover"].toDouble(), 100);  // held to 0..100
    EXPECT_EQ(json["sky_temperature"].toDouble(), -15.3);
    EXPECT_EQ(json["sun_altitude"].toDouble(), -18.25);
    EXPECT_EQ(json["moon_altitude"].toDouble(), 41.5);
    EXPECT_EQ(json["moon_illumination"].toDouble(), 0.875);  // a fraction, not percent
    EXPECT_TRUE(json["link_ok"].toBool());
    EXPECT_EQ(json["age_s"].toDouble(), 2.5);
}

TEST(ReadingFields, EachFieldNamesItsReadingAndTheDerivedGreenFrequencyNone) {
    for (std::size_t i = 0; i < kReadingCount; ++i) {
        const auto reading = static_cast<Reading>(i);
        EXPECT_EQ(ReadingAt(ReadingField(reading)), reading);
    }
    EXPECT_EQ(ReadingAt(&Observation::freqG), std::nullopt);
}

TEST(ShortestDecimal, WritesTheDigitsThatCame) {
    EXPECT_EQ(ShortestDecimal(21.34f), "21.34");
    EXPECT_EQ(ShortestDecimal(-0.1f), "-0.1");
    EXPECT_EQ(ShortestDecimal(1e7f), "1e+07");
    EXPECT_EQ(ShortestDouble(1234.5678f), 1234.568);
}

TEST_F(ReadingsOutputTest, MetricsFollowTheExpositionFormat) {
    QByteArray text = MetricsText(View());
    EXPECT_THAT(text.toStdString(), HasSubstr("noxa_reports_total{station=\"\"} 0\n"));
    EXPECT_THAT(text.toStdString(), Not(HasSubstr("noxa_mqtt_connected")));
    EXPECT_THAT(text.toStdString(), Not(HasSubstr("noxa_sky_brightness")));

    Observe();
    text = MetricsText(View());
    const std::string s = text.toStdString();
    EXPECT_TRUE(text.endsWith('\n'));
    EXPECT_THAT(s, HasSubstr("# HELP noxa_sky_brightness "));
    EXPECT_THAT(s, HasSubstr("# TYPE noxa_reports_total counter\n"));
    EXPECT_THAT(s, HasSubstr("noxa_reports_total{station=\"roof\\\"1\"} 1\n"));
    EXPECT_THAT(s,
                HasSubstr("noxa_sky_brightness{station=\"roof\\\"1\",channel=\"740nm\"} 21.34\n"));
    EXPECT_THAT(s, Not(HasSubstr("noxa_sky_brightness{station=\"roof\\\"1\",channel=\"blue\"}")));
    EXPECT_THAT(
        s, HasSubstr("noxa_frequency_hertz{station=\"roof\\\"1\",channel=\"740nm\"} 1234.568\n"));
    EXPECT_THAT(s, HasSubstr("noxa_moon_illumination_ratio{station=\"roof\\\"1\"} 0.875\n"));
    EXPECT_THAT(
        s, HasSubstr("noxa_temperature_celsius{station=\"roof\\\"1\",sensor=\"sky\"} -15.3\n"));
    EXPECT_THAT(s, HasSubstr("noxa_cloud_cover_percent{station=\"roof\\\"1\"} 100\n"));
    EXPECT_THAT(s, HasSubstr("noxa_nelm{station=\"roof\\\"1\"} 6.1\n"));
    EXPECT_THAT(
        s, HasSubstr("noxa_last_report_timestamp_seconds{station=\"roof\\\"1\"} 1772404200\n"));
}

TEST_F(ReadingsOutputTest, TheSafetyRuleFollowsReportsCloudsBrightnessAndSilence) {
    EXPECT_FALSE(rule.IsSafe());
    EXPECT_EQ(rule.Reason(), "no report yet");

    Observe(10);
    EXPECT_TRUE(rule.IsSafe());
    EXPECT_TRUE(Json()["safe"].toBool());
    Observe(75);
    EXPECT_FALSE(Json()["safe"].toBool());
    // Only the number changed: the reason says so, the log does not repeat the cause.
    Observe(80);
    EXPECT_EQ(Json()["unsafe_reason"].toString(), "cloud cover 80 % above 30 %");
    Observe(20, 18.5f);
    EXPECT_EQ(rule.Reason(), "sky 18.50 mag/arcsec² brighter than 19.00");
    Observe(20, 19.5f);
    EXPECT_TRUE(rule.IsSafe());
    EXPECT_THAT(MetricsText(View()).toStdString(),
                HasSubstr("noxa_safe{station=\"roof\\\"1\"} 1\n"));

    // Silence: unsafe once the readings are older than the limit, at the next tick.
    clock.Advance(120000);
    emit feed.linkStatus(LinkStatus{false, 120});
    EXPECT_TRUE(rule.IsSafe());
    clock.Advance(1000);
    emit feed.linkStatus(LinkStatus{false, 121});
    EXPECT_FALSE(rule.IsSafe());
    // One line per change of the verdict or of its cause, with the reason.
    EXPECT_EQ(log,
              (std::vector<std::string>{"Sky safe", "Sky unsafe: cloud cover 75 % above 30 %",
                                        "Sky unsafe: sky 18.50 mag/arcsec² brighter than 19.00",
                                        "Sky safe", "Sky unsafe: no report for over 120 s"}));
}

}  // namespace
}  // namespace noxa
