#include "core/observation_feed.h"
#include "night/night_files.h"
#include "night/night_summary.h"
#include "night/night_watcher.h"
#include "outputs/ida/ida_night_file.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"
#include "time/station_clock.h"

#include <QFile>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace noxa {
namespace {

const QTimeZone kBerlin("Europe/Berlin");

void WriteText(const QString& path, const std::string& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), qint64(text.size()));
}

NightSample Sample(UtcMilliseconds time, float mag, float sun = -30, float moon = -10) {
    NightSample s;
    s.time = time;
    s.mag.fill(mag);
    s.sunAltitude = sun, s.moonAltitude = moon, s.cloudCover = 10;
    return s;
}

TEST(NightFilesTest, StationsNightFileReadsBack) {
    test::ScopedWorkDir dir;
    IdaSite site;
    site.latitude = -33.5, site.longitude = 151.25;
    IntervalRecord r;
    r.end = QDateTime(QDate(2024, 3, 10), QTime(22, 0), kBerlin).toMSecsSinceEpoch();
    r[ChannelId::C740].mag = 21.5f, r[ChannelId::C640].mag = 20.9f, r[ChannelId::Red].mag = 20.25f,
    r[ChannelId::Green].mag = 19.f, r[ChannelId::Blue].mag = 18.75f;
    for (ChannelMeans& c : r.channels) c.reports = 1;
    r.sensorTemperature = 10, r.skyTemperature = -20;
    std::string text;
    for (const auto& line : IdaHeader(site, kBerlin, std::nullopt)) text += line + "\r\n";
    text += IdaNightFile::Line(r, kBerlin) + "\r\nnot a record\r\n";
    WriteText(dir.Path() + "/n.dat", text);

    const NightFileRecords read = ReadNightFile(dir.Path() + "/n.dat");
    EXPECT_TRUE(read.error.empty()) << read.error;
    EXPECT_EQ(read.skippedLines, 1);
    ASSERT_EQ(read.samples.size(), 1u);
    ASSERT_TRUE(read.place.has_value());
    EXPECT_DOUBLE_EQ(read.place->latitude, -33.5);
    EXPECT_EQ(read.zone.id(), "Europe/Berlin");
    const NightSample& s = read.samples[0];
    EXPECT_EQ(s.time, r.end);
    EXPECT_FLOAT_EQ(s.mag[0], 21.5f);
    EXPECT_FLOAT_EQ(s.mag[4], 18.75f);
    EXPECT_FLOAT_EQ(s.cloudCover, 10.f);  // 100 - 3 * 30
    EXPECT_TRUE(std::isfinite(s.sunAltitude) && std::isfinite(s.moonIllumination));
}

TEST(NightFilesTest, OtherLoggersFilesAndDataFilesGetTheirSky) {
    test::ScopedWorkDir dir;
    // Another logger's one-channel file with an offset for a zone: the Sun from the position.
    WriteText(
        dir.Path() + "/sqm.dat",
        "# Community Standard Skyglow Data Format 1.0\r\n"
        "# Position (lat, lon, elev(m)): 48.1, 11.6, 500\r\n"
        "# Local timezone: Nowhere/Atlantis\r\n"
        "# UTC Date & Time, Local Date & Time, Temperature, Counts, Frequency, MSAS, Volts\r\n"
        "# YYYY-MM-DDTHH:mm:ss.fff;YYYY-MM-DDTHH:mm:ss.fff;Celsius;number;Hz;mag/arcsec^2;V\r\n"
        "# END OF HEADER\r\n"
        "2024-06-21T22:00:00.000;2024-06-22T00:00:00.000;12.0;100;20.5;20.75;5.0\r\n");
    const NightFileRecords sqm = ReadNightFile(dir.Path() + "/sqm.dat");
    ASSERT_EQ(sqm.samples.size(), 1u);
    // Its one channel is its own, not the station's 740 nm; a column not known is named.
    EXPECT_FLOAT_EQ(sqm.samples[0].mag[kSingleChannel], 20.75f);
    EXPECT_EQ(sqm.samples[0].mag[0], 0.f);
    EXPECT_THAT(sqm.unknownColumns, ::testing::ElementsAre("Volts"));
    EXPECT_NEAR(sqm.samples[0].sunAltitude, -16.48, 0.05);  // as PyEphem has it
    EXPECT_TRUE(std::isnan(sqm.samples[0].cloudCover));
    EXPECT_EQ(sqm.zone.offsetFromUtc(QDateTime::currentDateTimeUtc()), 7200);

    WriteText(dir.Path() + "/month.csv",
              "# x\tCI1: 20.37\n#  C1: 740, C2: 640, C3: Red, C4: Blue. \r\n# Date\t Time\r\n"
              "10/03/2024\t22:05:00\t01234.5\t21.50\t0.0\t 0.0\t00050.5\t20.10\t00.500\t19.00"
              "\t00020.0\t18.50\t05.0\t-15.00\t\r\n"
              "garbage\r\n");
    NightFileRecords month =
        ReadDataFile(dir.Path() + "/month.csv", "%d/%m/%Y", "%H:%M:%S", kBerlin);
    ASSERT_EQ(month.samples.size(), 1u);
    EXPECT_EQ(month.skippedLines, 1);
    EXPECT_EQ(month.samples[0].time,
              QDateTime(QDate(2024, 3, 10), QTime(22, 5), kBerlin).toMSecsSinceEpoch());
    EXPECT_FLOAT_EQ(month.samples[0].mag[2], 20.10f);
    EXPECT_FLOAT_EQ(month.samples[0].cloudCover, 40.f);
    EXPECT_FALSE(ReadDataFile(dir.Path() + "/month.csv", "%Y-%m-%d", "%X", kBerlin).error.empty());
}

TEST(NightFilesTest, NightsTurnAtLocalNoonAcrossTheClockChange) {
    const auto at = [](int day, int hour, int minute) {
        return Sample(
            QDateTime(QDate(2024, 3, day), QTime(hour, minute), kBerlin).toMSecsSinceEpoch(), 20);
    };
    // Summer time begins on 31 March: noon is then 10:00 UTC, not 11:00.
    const auto nights =
        SplitIntoNights({at(31, 12, 0), at(30, 13, 0), at(31, 11, 59), at(31, 1, 0)}, kBerlin);
    ASSERT_EQ(nights.size(), 2u);
    EXPECT_EQ(nights[0].date, QDate(2024, 3, 30));
    EXPECT_EQ(nights[0].samples.size(), 3u);
    EXPECT_TRUE(std::is_sorted(nights[0].samples.begin(), nights[0].samples.end(),
                               [](auto& a, auto& b) { return a.time < b.time; }));
    EXPECT_EQ(nights[1].date, QDate(2024, 3, 31));
}

TEST(NightSummaryTest, DarkestMedianDarkSkyAndCloudyShare) {
    Night night{QDate(2024, 3, 10), kBerlin, {}, {}};
    const UtcMilliseconds t0 = 1710100800000;  // on a ten-minute boundary
    for (int i = 0; i < 30; ++i) {             // three ten-minute stretches
        NightSample s = Sample(t0 + i * 60000LL, 20.f + float(i / 10), -30, i < 20 ? -5 : 10);
        if (i == 5) s.mag.fill(23.9f);  // one dark spike is no darker ten minutes
        if (i >= 25) s.cloudCover = 80;
        s.mag[4] = s.mag[kSingleChannel] = 0;  // channels without readings
        night.samples.push_back(s);
    }
    const NightSummary summary = SummarizeNight(night, 30);
    EXPECT_FLOAT_EQ(*summary.darkest[0], 22.f);
    EXPECT_FLOAT_EQ(*summary.darkMedian[0], 21.f);  // the first 20, the Moon then down
    EXPECT_FALSE(summary.darkest[4].has_value());
    EXPECT_FLOAT_EQ(*summary.cloudyShare, 5.f / 30.f);
    EXPECT_EQ(SummaryCsvLine(summary),
              "2024-03-10,22.00,22.00,22.00,22.00,,21.00,21.00,21.00,21.00,,0.167,30,,,");

    const std::string merged =
        MergeSummaryCsv(SummaryCsvHeader() + "\n2024-03-11,1\n2024-03-10,old\n",
                        {"2024-03-10,new", "2024-03-09,x"});
    EXPECT_EQ(merged, SummaryCsvHeader() + "\n2024-03-09,x\n2024-03-10,new\n2024-03-11,1\n");
    // Nights of other instruments on the same date keep their own lines.
    const auto of = [](const std::string& instrument) {
        return "2024-03-10" + std::string(12, ',') + "," + instrument;
    };
    EXPECT_EQ(MergeSummaryCsv(merged, {of("B"), of("A")}),
              SummaryCsvHeader() + "\n2024-03-09,x\n2024-03-10,new\n" + of("A") + "\n" + of("B") +
                  "\n2024-03-11,1\n");
}

// A watcher of nights in Munich from noon on 10 March 2024, its log collected.
class NightWatcherTest : public ::testing::Test {
protected:
    // A record every ten minutes until 07:00 the next morning; dawn (-12°) comes at about 05:35.
    void RecordUntilMorning() {
        for (; clock.Now().time() != QTime(7, 0); clock.Advance(600000)) Record();
    }
    void Record() {
        r[ChannelId::C740].mag = 21;
        r.end = clock.NowUtc();
        emit feed.recorded(r);
    }
    NightWatcher& Watcher() {
        if (!watcher)
            watcher = std::make_unique<NightWatcher>(feed, clock, folder, ObserverPlace{48.1, 11.6},
                                                     kBerlin, 30, test::KeepIn(log));
        return *watcher;
    }

    test::ScopedWorkDir dir;
    ObservationFeed feed;
    ManualClock clock{QDateTime(QDate(2024, 3, 10), QTime(13, 0), kBerlin)};
    std::vector<std::string> log;
    const QString folder = dir.Path() + "/night";
    IntervalRecord r;
    std::unique_ptr<NightWatcher> watcher;
};

TEST_F(NightWatcherTest, WritesTheNightAtNauticalDawnAndAfterANightWithoutOne) {
    Watcher();
    for (; clock.Now().time() != QTime(5, 0); clock.Advance(600000)) Record();
    EXPECT_TRUE(log.empty());
    RecordUntilMorning();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_THAT(log[0], ::testing::StartsWith("Night of 2024-03-10 summed up in "));
    EXPECT_TRUE(QFile::exists(folder + "/2024-03-10.png"));
    QFile summary(folder + "/summary.csv");
    ASSERT_TRUE(summary.open(QIODevice::ReadOnly));
    EXPECT_THAT(summary.readAll().toStdString(), ::testing::HasSubstr("\n2024-03-10,21.00,"));

    // The next night stops before dawn: written with the first record after noon.
    clock.Set(QDateTime(QDate(2024, 3, 11), QTime(23, 0), kBerlin));
    Record();
    clock.Set(QDateTime(QDate(2024, 3, 12), QTime(12, 30), kBerlin));
    Record();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(QFile::exists(folder + "/2024-03-11.png"));
}

TEST_F(NightWatcherTest, RecordsWithoutTemperaturesAreLeftOutOfTheCloudyShare) {
    Watcher();
    RecordUntilMorning();  // the records carry no temperatures
    QFile summary(folder + "/summary.csv");
    ASSERT_TRUE(summary.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(summary.readAll()).split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[1].split(',').value(11), "") << lines[1].toStdString();  // cloudy_share
}

TEST_F(NightWatcherTest, ANightThatCannotBeWrittenIsTriedAgainUntilItIs) {
    QFile blocker(folder);  // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Watcher();
    RecordUntilMorning();
    ASSERT_EQ(log.size(), 1u);  // once, however many records followed
    EXPECT_THAT(log[0], ::testing::StartsWith("Night of 2024-03-10 not summed up: "));

    ASSERT_TRUE(blocker.remove());
    Record();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_THAT(log[1], ::testing::StartsWith("Night of 2024-03-10 summed up in "));
    EXPECT_TRUE(QFile::exists(folder + "/2024-03-10.png"));
}

}  // namespace
}  // namespace noxa
