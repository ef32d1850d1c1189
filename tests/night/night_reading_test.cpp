#include "night/night_collection.h"
#include "night/night_files.h"
#include "support/temp_dir.h"
#include "time/sun_moon.h"

#include <QFile>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace noxa {
namespace {

using ::testing::ElementsAre;

// A night file of instrument "x" at UTC with the given column names and record lines.
std::string NightText(const std::string& names, const std::vector<std::string>& lines) {
    std::string text =
        "# Community Standard Skyglow Data Format 1.0\r\n# Instrument ID: x\r\n"
        "# Local timezone: UTC\r\n# " +
        names + "\r\n# YYYY-MM-DDTHH:mm:ss.fff;YYYY-MM-DDTHH:mm:ss.fff\r\n# END OF HEADER\r\n";
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

const char kFiveNames[] =
    "UTC Date & Time, Local Date & Time, Temperature, MSAS1, MSAS2, MSASR, MSASG, MSASB";
const std::string kFiveChannels = NightText(
    kFiveNames,
    {"2024-03-10T22:00:00.000;2024-03-10T22:00:00.000;10.5;21.50;20.90;20.25;19.00;18.75"});

TEST(NightReadingTest, ChannelsAreTakenByTheirNamesNotTheirPlaces) {
    const NightFileRecords read = ReadNightText(QByteArray::fromStdString(NightText(
        "UTC Date & Time, Local Date & Time, MSASB, MSASG, MSASR, MSAS2, MSAS1",
        {"2024-03-10T22:00:00.000;2024-03-10T22:00:00.000;18.75;19.00;20.25;20.90;21.50"})));
    ASSERT_EQ(read.samples.size(), 1u);
    EXPECT_THAT(read.samples[0].mag, ElementsAre(21.5f, 20.9f, 20.25f, 19.f, 18.75f, 0.f));
}

// The station's layouts, older and newer, and a single-channel logger's: channel 1 is 740 nm
// wherever the station's other channels are named beside it.
TEST(NightReadingTest, EachLayoutGivesItsChannelsTheirPlaces) {
    const struct {
        const char* names;
        const char* line;
        std::array<float, kNightChannels> mags;
        float sky;
    } cases[] = {
        {"UTC Date & Time, Local Date & Time, Temperature, Sky Temperature, Freq1, MSAS1, Freq2, "
         "MSAS2, FreqR, MSASR, FreqG, MSASG, FreqB, MSASB",
         "2024-03-10T22:00:00.000;x;4.0;-20.2;12.5;21.50;30.0;20.90;40.1;20.25;1.0;19.00;2.0;18.75",
         {21.5f, 20.9f, 20.25f, 19.f, 18.75f, 0.f},
         -20.2f},
        {"UTC Date & Time, Local Date & Time, Temperature, Counts, Frequency, MSAS, Sky "
         "Temperature, Freq2, MSAS2, FreqR, MSASR, FreqG, MSASG, FreqB, MSASB",
         "2024-03-10T22:00:00.000;x;4.0;unknown;12.5;21.50;-20.2;30.0;20.90;40.1;20.25;1.0;19.00;"
         "2.0;18.75",
         {21.5f, 20.9f, 20.25f, 19.f, 18.75f, 0.f},
         -20.2f},
        {"UTC Date & Time, Local Date & Time, Temperature, Counts, Frequency, MSAS",
         "2024-03-10T22:00:00.000;x;4.0;12;12.5;21.24",
         {0.f, 0.f, 0.f, 0.f, 0.f, 21.24f},
         NAN},
    };
    for (const auto& c : cases) {
        const NightFileRecords read =
            ReadNightText(QByteArray::fromStdString(NightText(c.names, {c.line})));
        ASSERT_EQ(read.samples.size(), 1u) << c.names;
        EXPECT_EQ(read.samples[0].mag, c.mags) << c.names;
        EXPECT_THAT(read.samples[0].skyTemperature, ::testing::NanSensitiveFloatEq(c.sky));
        EXPECT_TRUE(read.unknownColumns.empty()) << c.names;
    }
}

TEST(NightReadingTest, LongInstrumentNamesStayShortAndApart) {
    const std::string a = InstrumentLabel(std::string(259, 'x') + "a");
    const std::string b = InstrumentLabel(std::string(259, 'x') + "b");
    EXPECT_EQ(a.size(), kLongestInstrumentLabel);
    EXPECT_NE(a, b);
    EXPECT_EQ(InstrumentLabel("sqm 1"), "sqm-1");
}

TEST(NightReadingTest, LinesEndingInCarriageReturnsAloneAreNamed) {
    std::string text = kFiveChannels;
    std::erase(text, '\n');
    test::ScopedWorkDir dir;
    QFile file(dir.Path() + "/n.dat");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), qint64(text.size()));
    file.close();
    const NightFileRecords read =
        ReadRecordsFile(file.fileName(), {"%d/%m/%Y", "%H:%M:%S", QTimeZone::utc()});
    EXPECT_THAT(read.error, ::testing::HasSubstr("CR alone"));
}

TEST(NightReadingTest, AFileWithoutReadableValuesSaysSoAndAByteOrderMarkIsRead) {
    const struct {
        const char* what;
        std::string text;
        size_t samples;
        int skipped;
    } cases[] = {
        {"comma-separated",
         NightText(kFiveNames, {"2024-03-10T22:00:00.000,2024-03-10T22:00:00.000,10.5,21.50,"
                                "20.90,20.25,19.00,18.75"}),
         0, 1},
        {"tab-separated",
         NightText(kFiveNames, {"2024-03-10T22:00:00.000\t2024-03-10T22:00:00.000\t10.5\t21.50"
                                "\t20.90\t20.25\t19.00\t18.75"}),
         0, 1},
        {"decimal commas",
         NightText(kFiveNames, {"2024-03-10T22:00:00.000;2024-03-10T22:00:00.000;10,5;21,50;"
                                "20,90;20,25;19,00;18,75"}),
         0, 1},
        {"every value unknown",
         NightText(kFiveNames, {"2024-03-10T22:00:00.000;2024-03-10T22:00:00.000;unknown;unknown;"
                                "unknown;unknown;unknown;Unknown"}),
         1, 0},
        {"empty", "", 0, 0},
        {"header only", NightText(kFiveNames, {}), 0, 0},
        {"byte-order mark", "\xEF\xBB\xBF" + kFiveChannels, 1, 0},
    };
    test::ScopedWorkDir dir;
    for (const auto& c : cases) {
        QFile file(dir.Path() + "/n.dat");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.text.data(), qint64(c.text.size()));
        file.close();
        const NightFileRecords read =
            ReadRecordsFile(file.fileName(), {"%d/%m/%Y", "%H:%M:%S", QTimeZone::utc()});
        EXPECT_EQ(read.samples.size(), c.samples) << c.what;
        EXPECT_EQ(read.skippedLines, c.skipped) << c.what;
        EXPECT_EQ(read.error.empty(), c.samples > 0) << c.what << ": " << read.error;
    }
}

// One night of `instrument` with records at the given minutes after 22:00 UTC.
Night NightOf(const std::string& instrument, std::vector<int> minutes) {
    Night night{QDate(2024, 3, 10), QTimeZone::utc(), {}, instrument};
    for (int minute : minutes) {
        NightSample sample;
        sample.time = QDateTime(night.date, QTime(22, minute), night.zone).toMSecsSinceEpoch();
        night.samples.push_back(sample);
    }
    return night;
}

TEST(NightCollectionTest, NightsOfTwoInstrumentsStayApart) {
    NightCollection collection;
    collection.Add({NightOf("A", {0, 1})});
    collection.Add({NightOf("B", {0, 1})});
    std::map<std::string, int> repeated;
    const std::vector<Night> nights = collection.Take(repeated);
    ASSERT_EQ(nights.size(), 2u);
    EXPECT_EQ(nights[0].instrument, "A");
    EXPECT_EQ(nights[1].instrument, "B");
    EXPECT_EQ(nights[1].samples.size(), 2u);
    EXPECT_TRUE(repeated.empty());
}

TEST(NightCollectionTest, RecordsGivenTwiceAreKeptOnceAndCounted) {
    NightCollection collection;
    collection.Add({NightOf("A", {0, 1, 2})});
    collection.Add({NightOf("A", {2, 3, 1})});  // a file that overlaps the first
    std::map<std::string, int> repeated;
    const std::vector<Night> nights = collection.Take(repeated);
    ASSERT_EQ(nights.size(), 1u);
    EXPECT_EQ(nights[0].samples.size(), 4u);
    EXPECT_EQ(repeated["A"], 2);
}

}  // namespace
}  // namespace noxa

namespace noxa {
namespace {

// The Sun and the Moon filled in between exact computations stay within 0.01 degree of them.
TEST(NightReadingTest, TheSkyAddedToRecordsIsTheComputedOne) {
    std::vector<NightSample> samples;
    for (UtcMilliseconds t = 1704067200000; t < 1735689600000; t += 7 * 86400000 + 3769000) {
        samples.push_back({.time = t});
    }
    for (const ObserverPlace place : {ObserverPlace{48.1, 11.6}, ObserverPlace{-70.5, -60.2}}) {
        AddSky(samples, place);
        for (const NightSample& s : samples) {
            const SunMoon exact = ComputeSunMoon(s.time, place.latitude, place.longitude);
            ASSERT_NEAR(s.sunAltitude, exact.sunAltitude, 0.01) << s.time;
            ASSERT_NEAR(s.moonAltitude, exact.moonAltitude, 0.01) << s.time;
            ASSERT_NEAR(s.moonIllumination, exact.moonIllumination, 0.001) << s.time;
        }
    }
}

}  // namespace
}  // namespace noxa
