#include "outputs/ida/ida_night_file.h"
#include "core/observation_feed.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"
#include "time/station_clock.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTimeZone>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace noxa {
namespace {

const QTimeZone kBerlin("Europe/Berlin");

QDateTime Local(int day, int hour, int minute, int ms = 0) {
    return QDateTime(QDate(2024, 3, day), QTime(hour, minute).addMSecs(ms), kBerlin);
}

IntervalRecord Record(const QDateTime& end, float magV = 21.5f) {
    IntervalRecord r;
    r.end = end.toMSecsSinceEpoch();
    r.start = r.end - 60000;
    r.magV = magV, r.magV2 = 20.9f, r.magR = 20.25f, r.magG = 19.f, r.magB = 18.75f;
    r.freq1 = 12.5f, r.freq2 = 30.f, r.freqR = 40.125f, r.freqG = 1.f, r.freqB = 2.f;
    r.sensorTemperature = 4.f, r.skyTemperature = -20.25f;
    r.reports = r.reportsR = r.reportsG = r.reportsB = 60;
    return r;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

class IdaNightFileTest : public ::testing::Test {
protected:
    IdaNightFileTest() {
        site.instrumentId = "roof 1";
        site.locationName = "\xc3\x84lmhult\tgarden";  // "Ä" and a tab: ASCII without either
        site.latitude = 56.55f, site.longitude = 14.1375f;
        site.contact = "A. Observer";
        site.licence = "ODbL 1.0";
    }
    std::unique_ptr<IdaNightFile> Writer() {
        return std::make_unique<IdaNightFile>(feed, clock, dir.Dir(), site, kBerlin,
                                              test::KeepIn(log));
    }
    std::string Night(const char* day) {
        return dir.ReadFile(QStringLiteral("ida/%1_120000_roof-1.dat").arg(day));
    }

    test::ScopedWorkDir dir;
    ObservationFeed feed;
    ManualClock clock{Local(10, 22, 0)};
    IdaSite site;
    std::vector<std::string> log;
};

TEST_F(IdaNightFileTest, NightFileFollowsTheFormat) {
    auto writer = Writer();
    Observation report;
    report.zeroPoint1 = 20.37f, report.zeroPoint2 = 20.f, report.zeroPoint3 = 19.6f,
    report.zeroPoint4 = 19.4f;
    emit feed.observed(report);
    emit feed.recorded(Record(Local(10, 22, 0)));
    emit feed.recorded(Record(Local(11, 0, 30, 250)));
    const std::string text = Night("20240310");
    ASSERT_FALSE(text.empty());

    // ASCII, CRLF line ends only, no tabs, no blank lines, ending with a whole line.
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = text[i];
        if (c == '\r')
            ASSERT_EQ(text.at(i + 1), '\n') << i;
        else if (c == '\n')
            ASSERT_EQ(text[i - 1], '\r') << i;
        else
            ASSERT_TRUE(c >= 0x20 && c < 0x7f) << "byte " << int(c) << " at " << i;
    }
    EXPECT_TRUE(text.ends_with("\r\n"));
    EXPECT_EQ(text.find("\r\n\r\n"), std::string::npos);

    const auto lines = Lines(text);
    ASSERT_EQ(lines.size(), size_t(kIdaHeaderLines + 2));
    const char* keys[] = {"Community Standard Skyglow Data Format 1.0",
                          "URL: ",
                          "Number of header lines: 35",
                          "This data is released under the following license: ODbL 1.0",
                          "Device type: ",
                          "Instrument ID: roof 1",
                          "Data supplier: A. Observer",
                          "Location name: Almhult garden",
                          "Position (lat, lon, elev(m)): 56.55000, 14.13750, unknown",
                          "Local timezone: Europe/Berlin",
                          "Time Synchronization: ",
                          "Moving / Stationary position: STATIONARY",
                          "Moving / Fixed look direction: FIXED",
                          "Number of channels: 5",
                          "Filters per channel: ",
                          "Measurement direction per channel: ",
                          "Field of view (degrees): unknown",
                          "Number of fields per line: 15"};
    for (size_t i = 0; i < std::size(keys); ++i)
        EXPECT_TRUE(lines[i].starts_with(std::string("# ") + keys[i])) << lines[i];
    for (int i = 0; i < kIdaHeaderLines; ++i) {
        EXPECT_TRUE(lines[i].starts_with("# ")) << lines[i];
        EXPECT_LE(lines[i].size(), 150u) << lines[i];
    }
    // The zero points of the newest report, channel G's being channel 2's.
    EXPECT_EQ(lines[19],
              "# Zero points (ZP) of channels 1, 2, R, G, B: 20.37, 20.00, 19.60, "
              "20.00, 19.40");
    EXPECT_EQ(lines[24], "# Comment: ");
    EXPECT_EQ(lines[29], "# blank line 30");
    EXPECT_EQ(lines[32],
              "# UTC Date & Time, Local Date & Time, Temperature, Counts, Frequency, MSAS, "
              "Sky Temperature, Freq2, MSAS2, FreqR, MSASR, FreqG, MSASG, FreqB, MSASB");
    EXPECT_EQ(lines[34], "# END OF HEADER");
    // The units name as many fields as each line has.
    EXPECT_EQ(QString::fromStdString(lines[33]).split(';').size(), kIdaFieldsPerLine);

    // Semicolons, ISO 8601 in UTC and local time, fixed decimals with trailing zeros, each
    // channel's frequency before its sky brightness; channel 1 where the one-channel layout
    // has its channel (after the counts, which the instrument does not give), then the sky's
    // temperature and the other channels.
    EXPECT_EQ(lines[35],
              "2024-03-10T21:00:00.000;2024-03-10T22:00:00.000;4.0;unknown;12.500;21.50;-20.2;"
              "30.000;20.90;40.125;20.25;1.000;19.00;2.000;18.75");
    EXPECT_TRUE(lines[36].starts_with("2024-03-10T23:30:00.250;2024-03-11T00:30:00.250;"));
    EXPECT_TRUE(log.empty());
}

TEST_F(IdaNightFileTest, ValuesNotMeasuredAreWrittenUnknown) {
    IntervalRecord r = Record(Local(10, 22, 0));
    r.sensorTemperature.reset();
    r.skyTemperature.reset();
    r.reportsG = 0;
    EXPECT_EQ(IdaNightFile::Line(r, kBerlin),
              "2024-03-10T21:00:00.000;2024-03-10T22:00:00.000;unknown;unknown;12.500;21.50;"
              "unknown;30.000;20.90;40.125;20.25;unknown;unknown;2.000;18.75");
    // A night file started before the first report.
    EXPECT_EQ(IdaHeader(site, kBerlin, std::nullopt)[19],
              "# Zero points (ZP) of channels 1, 2, R, G, B: unknown");
}

TEST_F(IdaNightFileTest, SiteTextsTooLongForTheirLinesGoOnOnCommentLines) {
    std::string words;
    while (words.size() < 200) words += "Observatory ";
    site.contact = "A. Observer, " + words;
    site.locationName = std::string(170, 'x');  // no space to cut at
    const auto lines = IdaHeader(site, kBerlin, std::nullopt);
    ASSERT_EQ(lines.size(), size_t(kIdaHeaderLines));
    for (int i = 0; i < kIdaHeaderLines; ++i) {
        const bool comment = i >= 24 && i <= 28;  // which the format lets run longer
        if (!comment) {
            EXPECT_LE(lines[i].size(), 150u) << lines[i];
        }
    }
    const std::string supplierRest = "# Comment: Data supplier, continued: ";
    ASSERT_TRUE(lines[24].starts_with(supplierRest)) << lines[24];
    EXPECT_EQ(lines[6] + " " + lines[24].substr(supplierRest.size()),
              "# Data supplier: " + site.contact.substr(0, site.contact.size() - 1));
    EXPECT_EQ(
        lines[7] + lines[25].substr(std::string("# Comment: Location name, continued: ").size()),
        "# Location name: " + site.locationName);
    EXPECT_EQ(lines[26], "# Comment: ");
    EXPECT_EQ(IdaOverlongTexts(site), (std::vector{&IdaSite::contact, &IdaSite::locationName}));
}

TEST_F(IdaNightFileTest, ALongInstrumentIdMakesAShortEnoughFileName) {
    const QString name = IdaNightFile::FileName(QDate(2024, 3, 10), std::string(260, 'r'));
    EXPECT_EQ(name.size(), 120);  // date, time, 100 of the id, ".dat"
    EXPECT_TRUE(name.startsWith("20240310_120000_rrr"));
    EXPECT_NE(name, IdaNightFile::FileName(QDate(2024, 3, 10), std::string(261, 'r')));
}

TEST_F(IdaNightFileTest, NightTurnsAtLocalNoon) {
    auto writer = Writer();
    emit feed.recorded(Record(Local(11, 11, 59, 59999)));
    emit feed.recorded(Record(Local(11, 12, 0)));
    EXPECT_EQ(Lines(Night("20240310")).size(), size_t(kIdaHeaderLines + 1));
    const auto next = Lines(Night("20240311"));
    ASSERT_EQ(next.size(), size_t(kIdaHeaderLines + 1));
    EXPECT_TRUE(next.back().starts_with("2024-03-11T11:00:00.000;2024-03-11T12:00:00.000;"));
}

TEST_F(IdaNightFileTest, CrashCutLineIsCompletedWithoutRewriting) {
    const QString path = dir.Path() + "/ida/20240310_120000_roof-1.dat";
    const auto cutAfter = [&](const std::string& tail) {
        auto writer = Writer();
        emit feed.recorded(Record(Local(10, 22, 0)));
        writer.reset();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(tail.data(), qint64(tail.size()));
    };
    const std::string whole = IdaNightFile::Line(Record(Local(10, 22, 1), 22.f), kBerlin);

    // Cut inside a value: not a complete record, so it goes back to the last whole line.
    cutAfter(whole.substr(0, whole.size() - 1));
    std::string before = Night("20240310");
    Writer()->Write(Record(Local(10, 22, 2)));
    std::string after = Night("20240310");
    const std::string kept = before.substr(0, before.rfind('\n') + 1);
    EXPECT_EQ(after.substr(0, kept.size()), kept);
    auto lines = Lines(after);
    ASSERT_EQ(lines.size(), size_t(kIdaHeaderLines + 2));
    EXPECT_TRUE(lines.back().starts_with("2024-03-10T21:02:00.000;"));

    // Cut only before its line end: the record is complete and kept.
    QFile::remove(path);
    cutAfter(whole + "\r");
    before = Night("20240310");
    Writer()->Write(Record(Local(10, 22, 2)));
    after = Night("20240310");
    EXPECT_EQ(after.substr(0, before.size()), before);
    lines = Lines(after);
    ASSERT_EQ(lines.size(), size_t(kIdaHeaderLines + 3));
    EXPECT_EQ(lines[kIdaHeaderLines + 1], whole);
}

TEST_F(IdaNightFileTest, FailedWritesAreOneLogLineAndOneWhenTheyWorkAgain) {
    QFile blocker(dir.Path() + "/ida");  // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto writer = Writer();
    emit feed.recorded(Record(Local(10, 22, 0)));
    emit feed.recorded(Record(Local(10, 22, 1)));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_THAT(log[0], ::testing::HasSubstr("20240310_120000_roof-1.dat not written"));
    ASSERT_TRUE(blocker.remove());
    emit feed.recorded(Record(Local(10, 22, 2)));
    emit feed.recorded(Record(Local(10, 22, 3)));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_THAT(log[1], ::testing::EndsWith("20240310_120000_roof-1.dat written again"));
}

}  // namespace
}  // namespace noxa
