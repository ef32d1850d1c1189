#include "app/station_outputs.h"

#include "app/station.h"
#include "core/observation_feed.h"
#include "support/station_fixture.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace noxa {
namespace {

using StationOutputsTest = test::StationTest;

// The settings as a user writes them, read the way the program reads them.
StationSettings Settings(const test::ScopedWorkDir& dir, const QByteArray& ini,
                         std::vector<std::string>& problems) {
    QFile file(dir.Path() + "/" + StationSettings::kFileName);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ini);
    file.close();
    QCommandLineParser parser;
    AddSettingOptions(parser);
    parser.parse({"noxa-station"});
    return LoadStationSettings(dir.Dir(), parser, problems);
}

TEST_F(StationOutputsTest, NightFilesAreWrittenOnlyWhenTurnedOnWithTheSiteOfTheSettings) {
    std::vector<std::string> problems;
    StationSettings settings =
        Settings(dir, "[ida]\nenabled=on\n[site]\nlocation=Roof\nheight=x\n", problems);
    EXPECT_EQ(problems.size(), 1u);  // the height that is no number
    ASSERT_TRUE(settings.ida.enabled);
    station.Config().latitude = 40.5f;
    StationOutputs outputs(station, clock, settings);
    outputs.Start();

    IntervalRecord record;
    record.end = clock.NowUtc();
    record.magV = 21.2f;
    emit station.Feed().recorded(record);
    const QStringList files = QDir(dir.Path() + "/ida").entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    const std::string text = dir.ReadFile("ida/" + files[0]);
    EXPECT_NE(text.find("Roof"), std::string::npos);
    EXPECT_NE(text.find("40.5"), std::string::npos);  // the configuration's position
    EXPECT_TRUE(files[0].endsWith("_qelvoxxx.dat")) << files[0].toStdString();

    StationSettings off = Settings(dir, "", problems);
    EXPECT_FALSE(off.ida.enabled);
}

// The Alpaca id is made at the first start, kept beside the user's settings, and read back.
TEST_F(StationOutputsTest, AlpacaDeviceIdIsMadeOnceAndKept) {
    std::vector<std::string> problems;
    const StationSettings first = Settings(dir, "[alpaca]\ndiscovery_port=40001\n", problems);
    EXPECT_EQ(first.alpaca.discoveryPort, 40001);
    EXPECT_TRUE(first.alpaca.deviceId.isEmpty());
    const QString id = KeepAlpacaDeviceId(dir.Dir(), first.alpaca.deviceId, problems);
    EXPECT_FALSE(id.isEmpty());

    QCommandLineParser parser;
    AddSettingOptions(parser);
    parser.parse({"noxa-station"});
    const StationSettings again = LoadStationSettings(dir.Dir(), parser, problems);
    EXPECT_EQ(again.alpaca.deviceId, id);
    EXPECT_EQ(again.alpaca.discoveryPort, 40001);  // the user's own line stays
    EXPECT_EQ(KeepAlpacaDeviceId(dir.Dir(), again.alpaca.deviceId, problems), id);
    EXPECT_TRUE(problems.empty()) << problems.front();

    EXPECT_EQ(Settings(dir, "[alpaca]\ndiscovery_port=\n", problems).alpaca.discoveryPort, 0);
    EXPECT_EQ(Settings(dir, "", problems).alpaca.discoveryPort, 32227);
}

TEST_F(StationOutputsTest, AfterARestartTheNightsChartHasTheRecordsOfTheDataFile) {
    // Two hours of records before the restart, in the month's data file as the station wrote
    // them (the fixture's date and time layouts).
    QFile data(dir.Path() + "/qelvoxxx_04_2023.csv");
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    data.write("# qelvoxxx\tCI1: 20.37\n#  C1: 740 \r\n# Date\t Time\r\n");
    for (int minute = 0; minute < 120; minute += 10) {
        data.write(QStringLiteral("09/04/2023\t%1:%2:00\t01234.5\t21.50\t0.0\t 0.0\t00050.5"
                                  "\t20.10\t00.500\t19.00\t00020.0\t18.50\t05.0\t-25.00\t\r\n")
                       .arg(20 + minute / 60)
                       .arg(minute % 60, 2, 10, QLatin1Char('0'))
                       .toLatin1());
    }
    data.close();
    std::vector<std::string> problems;
    StationOutputs outputs(station, clock, Settings(dir, "", problems));
    outputs.Start();

    IntervalRecord record;
    record.magV = 21.f;
    for (; clock.Now().time() < QTime(11, 50) || clock.Now().date().day() == 9;
         clock.Advance(600000)) {
        record.end = clock.NowUtc();
        emit station.Feed().recorded(record);
    }
    // Only the data file's records had 21.50: the new ones are 21.00.
    const std::string summary = dir.ReadFile("night/summary.csv");
    EXPECT_NE(summary.find("\n2023-04-09,21.50,"), std::string::npos) << summary;
    EXPECT_TRUE(QFile::exists(dir.Path() + "/night/2023-04-09.png"));
}

}  // namespace
}  // namespace noxa
