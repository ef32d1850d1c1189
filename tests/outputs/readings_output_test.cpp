#include "core/observation_feed.h"
#include "outputs/common/latest_readings.h"
#include "outputs/common/metrics_text.h"
#include "outputs/common/readings_json.h"
#include "time/station_clock.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace noxa {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class ReadingsOutputTest : public ::testing::Test {
protected:
    QJsonObject Json() { return QJsonDocument::fromJson(ReadingsJson(readings)).object(); }

    void Observe() {
        Observation o;
        o.time = clock.NowUtc();
        o.station = "roof\"1";
        o.magV = 21.34f;
        o.magV2 = 20.9f;
        o.magR = 20.8f;
        o.magG = 12.5f;
        o.magB = std::numeric_limits<float>::quiet_NaN();
        o.freq1 = 1234.5678f;
        o.sensorTemperature = 10.25f;
        o.skyTemperature = -15.3f;
        o.nelm = 6.1f;
        o.cloudIndex = 106;
        emit feed.observed(o);
    }

    ManualClock clock{QDateTime(QDate(2026, 3, 1), QTime(22, 30), Qt::UTC)};
    ObservationFeed feed;
    LatestReadings readings{feed, clock};
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
    EXPECT_TRUE(json["link_ok"].toBool());
    EXPECT_EQ(json["age_s"].toDouble(), 2.5);
}

TEST_F(ReadingsOutputTest, MetricsFollowTheExpositionFormat) {
    QByteArray text = MetricsText(readings);
    EXPECT_THAT(text.toStdString(), HasSubstr("noxa_reports_total{station=\"\"} 0\n"));
    EXPECT_THAT(text.toStdString(), Not(HasSubstr("noxa_sky_brightness")));

    Observe();
    text = MetricsText(readings);
    const std::string s = text.toStdString();
    EXPECT_TRUE(text.endsWith('\n'));
    EXPECT_THAT(s, HasSubstr("# HELP noxa_sky_brightness "));
    EXPECT_THAT(s, HasSubstr("# TYPE noxa_reports_total counter\n"));
    EXPECT_THAT(s, HasSubstr("noxa_reports_total{station=\"roof\\\"1\"} 1\n"));
    EXPECT_THAT(s, HasSubstr("noxa_sky_brightness{station=\"roof\\\"1\",channel=\"v\"} 21.34\n"));
    EXPECT_THAT(s, HasSubstr("channel=\"b\"} NaN\n"));
    EXPECT_THAT(
        s, HasSubstr("noxa_temperature_celsius{station=\"roof\\\"1\",sensor=\"sky\"} -15.3\n"));
    EXPECT_THAT(s, HasSubstr("noxa_cloud_cover_percent{station=\"roof\\\"1\"} 100\n"));
    EXPECT_THAT(
        s, HasSubstr("noxa_last_report_timestamp_seconds{station=\"roof\\\"1\"} 1772404200\n"));
}

}  // namespace
}  // namespace noxa
