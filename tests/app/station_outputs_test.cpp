#include "app/station_outputs.h"

#include "app/station.h"
#include "core/observation_feed.h"
#include "outputs/ida/ida_header.h"
#include "outputs/ida/ida_night_file.h"
#include "support/settings_file.h"
#include "support/station_fixture.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace noxa {
namespace {

using StationOutputsTest = test::StationTest;

// The outputs as the program starts them, in the site's zone the settings name.
StationOutputs OutputsOf(Station& station, const StationClock& clock, Settings settings) {
    const QTimeZone siteZone = ReadStationSettings(settings).siteZone;
    return StationOutputs(station, clock, std::move(settings), siteZone);
}

TEST_F(StationOutputsTest, NightFilesAreWrittenOnlyWhenTurnedOnWithTheSiteOfTheSettings) {
    // 40° 30' N, saved on the settings page.
    station.Form().SetText(FormText::ELatGrad, "40");
    station.Form().SetText(FormText::ELatMin, "30");
    station.SaveSettings();
    StationOutputs outputs = OutputsOf(
        station, clock,
        test::ReadSettingsFile(dir, "[ida]\nenabled=on\n[site]\nlocation=Roof\nheight=x\n"));
    outputs.Start();
    EXPECT_EQ(std::count_if(Log().begin(), Log().end(),
                            [](const std::string& line) {
                                return line.find("--site-height (site/height)") == 0;
                            }),
              1);  // the height that is no number

    IntervalRecord record;
    record.end = clock.NowUtc();
    record[ChannelId::C740].mag = 21.2f;
    emit station.Feed().recorded(record);
    const QStringList files = QDir(dir.Path() + "/ida").entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    const std::string text = dir.ReadFile("ida/" + files[0]);
    EXPECT_NE(text.find("Roof"), std::string::npos);
    EXPECT_NE(text.find("40.5"), std::string::npos);  // the configuration's position
    EXPECT_TRUE(files[0].endsWith("_qelvoxxx.dat")) << files[0].toStdString();
}

TEST_F(StationOutputsTest, SiteTextsTooLongForTheNightFilesAreNamedOnceAtStart) {
    const QString tooLong(140, 'x');
    StationOutputs outputs =
        OutputsOf(station, clock,
                  test::ReadSettingsFile(
                      dir, {"--ida", "on", "--site-contact", tooLong, "--site-location", tooLong}));
    outputs.Start();
    EXPECT_EQ(std::count_if(Log().begin(), Log().end(),
                            [](const std::string& line) {
                                return line.starts_with(
                                    "Night files: --site-contact, --site-location longer than a "
                                    "header line holds (150 characters)");
                            }),
              1);
}

// A report of the station's instrument whose channel 1 shows `mag`.
std::string Report(const char* mag) {
    return std::string(R"({"name":"qelvoxxx","F1":{"freq":1234.5,"mag":)") + mag +
           R"(,"zp":20.37},"F2":{"freq":2000.0,"mag":20.90,"zp":20.00},)"
           R"("F3":{"freq":600.0,"mag":20.80,"zp":19.60},)"
           R"("F4":{"freq":400.0,"mag":21.50,"zp":19.40,"tamb":10.25,"tsky":-15.30}})";
}

// The last line of a file, cut at `separator`.
QStringList LastLineFields(const std::string& text, char separator) {
    return QString::fromStdString(text).trimmed().split("\r\n").last().split(separator);
}

TEST_F(StationOutputsTest, TheDataFileAndTheNightFileWriteThePublishedRecord) {
    StationOutputs outputs =
        OutputsOf(station, clock, test::ReadSettingsFile(dir, "[ida]\nenabled=on\n"));
    outputs.Start();
    std::vector<IntervalRecord> published;
    QObject::connect(&station.Feed(), &ObservationFeed::recorded,
                     [&](const IntervalRecord& record) { published.push_back(record); });
    station.Form().SetText(FormText::Esalto, "1");
    station.ReceiveDatagram(Report("21.00"));
    clock.Advance(1000);
    station.Tick();
    station.ReceiveDatagram(Report("22.00"));  // the interval has passed

    ASSERT_EQ(published.size(), 1u);
    const IntervalRecord& r = published[0];
    const QStringList data = LastLineFields(dir.ReadFile("qelvoxxx_04_2023.csv"), '\t');
    const QStringList files = QDir(dir.Path() + "/ida").entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    const QStringList night = LastLineFields(dir.ReadFile("ida/" + files[0]), ';');
    const double means[] = {r[ChannelId::C740].mag, r[ChannelId::C640].mag, r[ChannelId::Red].mag,
                            r[ChannelId::Green].mag, r[ChannelId::Blue].mag};
    for (int i = 0; i < 5; ++i) {
        const QString mean = QString::asprintf("%.2f", means[i]);
        EXPECT_EQ(data[3 + 2 * i], mean) << i;
        // Channel 1 in the one-channel layout's MSAS field, the others after the sky's
        // temperature.
        EXPECT_EQ(night[i == 0 ? 5 : 6 + 2 * i], mean) << i;
    }
    EXPECT_EQ(data[3], "21.50");
    EXPECT_EQ(data[1], "22:00:06");
    EXPECT_TRUE(night[1].startsWith("2023-04-09T22:00:06")) << night[1].toStdString();
}

// The Alpaca id is made at the first start, kept beside the user's settings, and read back.
TEST_F(StationOutputsTest, AlpacaDeviceIdIsMadeOnceAndKept) {
    const auto startWeb = [&] {
        // The web server's port is taken while the outputs run; a second start is no problem.
        QTcpServer taken;
        EXPECT_TRUE(taken.listen(QHostAddress::LocalHost));
        const QString port = QString::number(taken.serverPort());
        OutputsOf(station, clock, test::ReadSettingsFile(dir, {"--http", port})).Start();
        const Settings kept = test::ReadSettingsFile(dir);
        return std::pair{kept.Text("alpaca/device_id"), kept.Text("alpaca/discovery_port")};
    };
    test::ReadSettingsFile(dir, "[alpaca]\ndiscovery_port=40001\n");
    const auto [id, port] = startWeb();
    EXPECT_FALSE(id.isEmpty());
    EXPECT_EQ(port, "40001");  // the user's own line stays
    EXPECT_EQ(startWeb().first, id);
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
    StationOutputs outputs = OutputsOf(station, clock, test::ReadSettingsFile(dir, ""));
    outputs.Start();

    IntervalRecord record;
    record[ChannelId::C740].mag = 21.f;
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

// A site in Denver whose computer runs on UTC.
class WesternSiteTest : public test::StationTest {
protected:
    WesternSiteTest()
        : StationTest([](StationOptions& options) {
              options.siteLatitude = 39.74;
              options.siteLongitude = -104.99;
          }) {}
    const QTimeZone denver{"America/Denver"};
};

// UTC noon falls at 05:00 in Denver, before its dawn: the whole night, noon to noon in Denver,
// is still one night file and one night of chart and summary.
TEST_F(WesternSiteTest, EachNightIsOneWholeNightOfTheSitesZone) {
    clock.Set(QDateTime(QDate(2024, 1, 15), QTime(12, 0), denver).toUTC());
    StationOutputs outputs = OutputsOf(
        station, clock,
        test::ReadSettingsFile(dir, "[ida]\nenabled=on\n[site]\ntime_zone=America/Denver\n"));
    outputs.Start();
    IntervalRecord record;
    for (int i = 0; i < 144; ++i, clock.Advance(600000)) {
        // Only Denver's morning after UTC noon reads a darker sky.
        const QTime local = clock.Now().toTimeZone(denver).time();
        record[ChannelId::C740].mag = local >= QTime(5, 0) && local < QTime(12, 0) ? 22.f : 21.f;
        record.end = clock.NowUtc();
        emit station.Feed().recorded(record);
    }

    const auto names = [&](const char* folder, const QString& pattern) {
        return QDir(dir.Path() + folder).entryList({pattern}, QDir::Files).join(' ').toStdString();
    };
    EXPECT_EQ(names("/ida", "*"), "20240115_120000_qelvoxxx.dat");
    // The night's chart; the year's chart is drawn beside it on a pool thread.
    EXPECT_EQ(names("/night", "2*.png"), "2024-01-15.png");
    const QStringList lines =
        QString::fromStdString(dir.ReadFile("ida/20240115_120000_qelvoxxx.dat")).split("\r\n");
    EXPECT_TRUE(lines.contains("# Local timezone: America/Denver"));
    ASSERT_EQ(lines.size(), kIdaHeaderLines + 145);  // the last line end
    EXPECT_TRUE(lines[kIdaHeaderLines].contains(";2024-01-15T12:00:00.000;"));
    EXPECT_TRUE(lines[kIdaHeaderLines + 143].contains(";2024-01-16T11:50:00.000;"));
    const QStringList summary =
        QString::fromStdString(dir.ReadFile("night/summary.csv")).trimmed().split('\n');
    ASSERT_EQ(summary.size(), 2);
    EXPECT_TRUE(summary[1].startsWith("2024-01-15,22.00,")) << summary[1].toStdString();
}

}  // namespace
}  // namespace noxa
