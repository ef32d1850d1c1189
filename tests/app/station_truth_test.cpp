// What the outputs say at the edges of a run: before the first report, after a restart with the
// last run's history, when a sensor fails, and where the Sun and the Moon are computed.
#include "app/station.h"
#include "app/station_outputs.h"
#include "outputs/common/metrics_text.h"
#include "outputs/common/readings_json.h"
#include "support/settings_file.h"
#include "support/station_fixture.h"
#include "support/station_options.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace noxa {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::string Report(const std::string& skyTemperature = "-15.30") {
    return R"({"name":"qelvoxxx","seq":1,"F1":{"freq":1234.5,"mag":21.25,"zp":20.37},)"
           R"("F2":{"freq":2000.0,"mag":20.90,"zp":20.00},)"
           R"("F3":{"freq":600.0,"mag":20.80,"zp":19.60},)"
           R"("F4":{"freq":400.0,"mag":21.50,"zp":19.40,"tamb":10.25,"tsky":)" +
           skyTemperature + "}}";
}

class StationTruthTest : public test::StationTest {
protected:
    void Start(Station& s) {
        s.Start();
        outputs = std::make_unique<StationOutputs>(s, clock, test::ReadSettingsFile(dir),
                                                   QTimeZone::systemTimeZone());
        outputs->Start();
    }
    void Tick(Station& s, int seconds = 1) {
        for (int i = 0; i < seconds; ++i) {
            clock.Advance(1000);
            s.Tick();
        }
    }
    void Receive(Station& s, const std::string& report) { s.ReceiveDatagram(report); }
    QJsonObject Json() { return QJsonDocument::fromJson(ReadingsJson(outputs->View())).object(); }
    std::string Metrics() { return MetricsText(outputs->View()).toStdString(); }

    std::unique_ptr<StationOutputs> outputs;
};

TEST_F(StationTruthTest, NothingIsClaimedBeforeTheFirstReport) {
    Start(station);
    Tick(station, 12);
    const QJsonObject json = Json();
    EXPECT_FALSE(json["link_ok"].toBool());
    EXPECT_FALSE(json["safe"].toBool());
    EXPECT_EQ(json["unsafe_reason"].toString(), "no report yet");
    // The series carry the station's name from the first scrape on.
    EXPECT_THAT(Metrics(), HasSubstr("noxa_link_ok{station=\"qelvoxxx\"} 0\n"));
    EXPECT_THAT(Metrics(), HasSubstr("noxa_build_info{version=\"" NOXA_VERSION "\"} 1\n"));

    Receive(station, Report());
    Tick(station);
    EXPECT_TRUE(Json()["link_ok"].toBool());
}

TEST_F(StationTruthTest, EstimatesOfTheLastRunNeitherShowNorMakeTheSkySafe) {
    // A first run leaves a chart point with its estimates in the saved history.
    Start(station);
    Receive(station, Report());
    station.ChartTick();
    Station restarted{clock, StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", "."),
                      test::TestStationOptions(dir.Path())};
    Start(restarted);
    Receive(restarted, Report());
    QJsonObject json = Json();
    EXPECT_TRUE(json["cloud_cover"].isNull());
    EXPECT_TRUE(json["nelm"].isNull());
    EXPECT_FALSE(json["safe"].toBool());
    EXPECT_THAT(Metrics(), Not(HasSubstr("noxa_cloud_cover_percent{")));

    // The first chart point of this run, from its own report, gives them.
    Tick(restarted, 2);
    Receive(restarted, Report());
    json = Json();
    EXPECT_NEAR(json["cloud_cover"].toDouble(), 23.35, 0.01);
    EXPECT_FALSE(json["nelm"].isNull());
    EXPECT_TRUE(json["safe"].toBool());
    EXPECT_TRUE(json["unsafe_reason"].isNull());
}

TEST_F(StationTruthTest, AFailedSkySensorMakesItsReadingsUnknownAndTheSkyUnsafe) {
    Start(station);
    Tick(station, 2);
    Receive(station, Report());
    Tick(station, 2);
    station.ChartTick();
    Receive(station, Report());
    ASSERT_TRUE(Json()["safe"].toBool());

    // Within the stale limit the interval's cloud cover still stands.
    for (int second = 0; second < 100; ++second) {
        Receive(station, Report("nan.0"));
        Tick(station);
    }
    EXPECT_TRUE(Json()["sky_temperature"].isNull());
    EXPECT_FALSE(Json()["cloud_cover"].isNull());
    for (int second = 0; second < 30; ++second) {
        Receive(station, Report("nan.0"));
        Tick(station);
    }
    const QJsonObject json = Json();
    EXPECT_TRUE(json["cloud_cover"].isNull());
    EXPECT_FALSE(json["safe"].toBool());
    EXPECT_EQ(json["unsafe_reason"].toString(), "sky temperature unknown");
    EXPECT_TRUE(json["link_ok"].toBool());
    EXPECT_THAT(Metrics(), Not(HasSubstr("sensor=\"sky\"")));
    // The cloud cover is as old as the sky temperature it rests on.
    EXPECT_GT(*outputs->Latest().SecondsSinceValue(Reading::CloudIndex), 120);
}

TEST_F(StationTruthTest, TheSunAndTheMoonAreSeenFromTheSiteWhenOneIsGiven) {
    test::ScopedWorkDir north;
    StationOptions options = test::TestStationOptions(north.Path());
    options.siteLatitude = 69.65;
    options.siteLongitude = 18.96;
    Station site{clock, StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", "."), options};
    for (Station* s : {&station, &site}) {
        Start(*s);
        Receive(*s, Report());
        const SunMoon expected =
            ComputeSunMoon(clock.NowUtc(), s->Place().latitude, s->Place().longitude);
        EXPECT_NEAR(Json()["sun_altitude"].toDouble(), expected.sunAltitude, 0.01);
    }
    EXPECT_EQ(site.Place(), (ObserverPlace{69.65, 18.96}));
    EXPECT_NEAR(station.Place().latitude, station.Config().latitude, 1e-9);
}

}  // namespace
}  // namespace noxa
