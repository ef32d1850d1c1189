#include "recording/data_file.h"

#include "core/broadcast_decoder.h"
#include "core/day_tables.h"
#include "core/form_model.h"
#include "core/live_sums.h"
#include "core/observation_feed.h"
#include "core/station_locale.h"
#include "recording/recorder.h"
#include "support/comma_locale.h"
#include "support/temp_dir.h"
#include "time/station_clock.h"

#include <QDir>
#include <QFile>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

namespace noxa {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kHeader2 =
    "\r\n#  C1: 740, C2: 640, C3: Red, C4: Blue. (Frec-G = Frec640 - FrecR - FrecB) \r\n";
const std::string kHeader3 =
    "# Date\t Time\t  Frec-740\t MV-740\t  Frec-640\t MV-640\t  Frec-R\t MV-R\t  Frec-G\t MV-G\t"
    "  Frec-B\t MV-B\t T-Sens\t T-IR \r\n";

class DataFileTest : public ::testing::Test {
protected:
    DataFileTest() { recorder.SetIntervalSeconds(0); }
    // One report's worth of record sums with the given per-report values.
    void AddRecord(float frec, float mag) {
        DecodedReport report;
        for (Channel& channel : report.observation.channels) channel = {mag, frec, 0};
        sums.AddReport(report, 0);
    }
    // The sums make a record at once, which the writer appends.
    void Record() { ASSERT_TRUE(recorder.RecordIfDue()); }
    std::string Read(const char* name) { return dir.ReadFile(name); }

    test::ScopedWorkDir dir;
    FormModel form;
    LiveSums sums;
    DayTables days;
    ManualClock clock{QDateTime(QDate(2023, 4, 9), QTime(22, 0, 5))};
    StationLocale locale = StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", ",");
    ObservationFeed feed;
    StationIdentity identity{"qelvoxxx", {"CI1", "CI2", "CI3", "CI4"}};
    DataFileWriter writer{[this] { return identity; }, locale, dir.Dir(), feed, form.LogTo()};
    Recorder recorder{sums, days, clock, feed};
};

TEST_F(DataFileTest, ANewFileStartsWithItsThreeHeaderLines) {
    identity.instrumentConstants[0] = "CI1: 20.37";
    identity.instrumentConstants[1] = "CI2: 20";
    AddRecord(1234.5f, 21.25f);
    Record();
    EXPECT_EQ(Read("qelvoxxx_04_2023.csv"),
              "# qelvoxxx\tCI1: 20.37\tCI2: 20\tCI3\tCI4" + kHeader2 + kHeader3 +
                  "09/04/2023\t22:00:05\t01234.5\t21.25\t01234.5\t21.25\t01234.5\t21.25\t"
                  "01234.5\t21.25\t01234.5\t21.25\t00.0\t00.00\t\r\n");
    EXPECT_THAT(form.LogLines(), ElementsAre("Log", "Created data file: qelvoxxx_04_2023.csv"));

    clock.Advance(60000);
    AddRecord(0.5f, 9.5f);
    days.Newest().meanTSens = 9.5f;
    days.Newest().meanTIR = -1.5f;
    Record();
    const std::string text = Read("qelvoxxx_04_2023.csv");
    EXPECT_THAT(
        text, testing::EndsWith("\r\n09/04/2023\t22:01:05\t00.500\t09.50\t00.500\t09.50\t"
                                "00.500\t09.50\t00.500\t09.50\t00.500\t09.50\t09.5\t-1.50\t\r\n"));
    EXPECT_EQ(form.LogLines().size(), 2u);  // no second "Created" line
}

TEST_F(DataFileTest, PrintsTheMeansOfTheRecord) {
    AddRecord(50.0f, 20.0f);
    AddRecord(51.0f, 21.0f);  // mean 50.5 Hz, shown with one decimal
    Record();
    AddRecord(50.0f, 20.0f);  // exactly 50 Hz: three decimals
    Record();
    EXPECT_THAT(Read("qelvoxxx_04_2023.csv"),
                HasSubstr("\t00050.5\t20.50\t00050.5\t20.50\t00050.5\t20.50\t"));
    EXPECT_THAT(Read("qelvoxxx_04_2023.csv"), HasSubstr("\t50.000\t20.00\t50.000\t20.00\t"));
}

TEST_F(DataFileTest, AGroupWithoutReportsWritesZeros) {
    Record();
    EXPECT_THAT(
        Read("qelvoxxx_04_2023.csv"),
        testing::EndsWith("22:00:05\t0.0\t 0.0\t0.0\t 0.0\t0.0\t 0.0\t0.0\t 0.0\t0.0\t 0.0\t"
                          "00.0\t00.00\t\r\n"));
}

TEST_F(DataFileTest, GreenChannelMeansFromDecodedReports) {
    const auto report = [](const char* f2) {
        return std::string(
                   R"({"name":"qelvoxxx","F1":{"freq":1,"mag":21.00,"zp":20.00},"F2":{"freq":)") +
               f2 +
               R"(,"mag":20.90,"zp":20.00},"F3":{"freq":0,"mag":20.80,"zp":19.60},)"
               R"("F4":{"freq":0,"mag":21.50,"zp":19.40,"tamb":10.25,"tsky":-15.30}})";
    };
    sums.AddReport(DecodeBroadcast(report("1000")), 0);  // green 1000 Hz, 12.5
    sums.AddReport(DecodeBroadcast(report("100")), 0);   // green 100 Hz, 15.0
    Record();
    EXPECT_THAT(Read("qelvoxxx_04_2023.csv"), HasSubstr("\t00550.0\t13.75\t"));
}

TEST_F(DataFileTest, NamesTheFileByMonthAndYearWhateverTheDateLayout) {
    StationLocale monthFirst = StationLocale::Fixed("%m/%d/%y", "%I:%M:%S %p", ".");
    ObservationFeed feed2;
    identity.name = "obs/roof";
    DataFileWriter writer2([this] { return identity; }, monthFirst, dir.Dir(), feed2, Log());
    IntervalRecord record;
    record.localEnd = clock.Now();
    writer2.Write(record);
    EXPECT_THAT(Read("obs_roof_04_2023.csv"), HasSubstr("\r\n04/09/23\t10:00:05 PM\t"));
}

TEST_F(DataFileTest, An8BitStationNameNamesTheFileWithItsOwnBytes) {
    const std::string station =
        "Espa\xF1"
        "a";  // not UTF-8
    const std::string name = station + "_04_2023.csv";
    identity.name = station;
    Record();
    Record();
    std::string text;
    {
        std::ifstream file(dir.Path().toStdString() + "/" + name, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(file), {});
    }
    // Qt's own listing cannot name this file, so it is removed here.
    ASSERT_EQ(::unlink((dir.Path().toStdString() + "/" + name).c_str()), 0)
        << "no file under the name's own bytes";
    EXPECT_THAT(text, testing::StartsWith("# " + station + "\t"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);  // three header lines, two lines
    EXPECT_TRUE(QDir(dir.Path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System));
    EXPECT_THAT(form.LogLines(), ElementsAre("Log", "Created data file: " + name));
}

TEST_F(DataFileTest, StartsANewFileWithItsHeaderEachMonth) {
    clock.Set(QDateTime(QDate(2023, 1, 31), QTime(23, 59, 59)));
    Record();
    clock.Advance(1000);
    Record();
    EXPECT_THAT(Read("qelvoxxx_01_2023.csv"), testing::StartsWith("# qelvoxxx"));
    EXPECT_THAT(Read("qelvoxxx_02_2023.csv"), testing::StartsWith("# qelvoxxx"));
    EXPECT_THAT(form.LogLines(), ElementsAre("Log", "Created data file: qelvoxxx_01_2023.csv",
                                             "Created data file: qelvoxxx_02_2023.csv"));
}

TEST_F(DataFileTest, RecreatesADeletedFileWithItsHeader) {
    Record();
    ASSERT_TRUE(QFile::remove(dir.Path() + "/qelvoxxx_04_2023.csv"));
    Record();
    EXPECT_THAT(Read("qelvoxxx_04_2023.csv"), testing::StartsWith("# qelvoxxx"));
    EXPECT_EQ(form.LogLines().size(), 3u);
    EXPECT_EQ(form.LogLines().back(), "Created data file: qelvoxxx_04_2023.csv");
}

TEST_F(DataFileTest, LinesThatCannotBeWrittenAreLoggedOnceAndTheirSumsAreGone) {
    ASSERT_TRUE(
        QDir(dir.Path()).mkdir("qelvoxxx_04_2023.csv"));  // a folder stands where the file goes
    AddRecord(10, 20);
    Record();
    Record();
    ASSERT_EQ(form.LogLines().size(), 2u);
    EXPECT_THAT(form.LogLines()[1], HasSubstr("qelvoxxx_04_2023.csv"));
    EXPECT_THAT(form.LogLines()[1], testing::StartsWith("Data line not written to "));

    ASSERT_TRUE(QDir(dir.Path()).rmdir("qelvoxxx_04_2023.csv"));
    Record();
    EXPECT_EQ(form.LogLines().back(), "Data lines written to qelvoxxx_04_2023.csv again");
}

TEST_F(DataFileTest, AFailedWriteLeavesNoPartOfTheLine) {
    if (!QFile::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    // The file lies on a device that is always full.
    ASSERT_TRUE(QFile::link("/dev/full", dir.Path() + "/qelvoxxx_04_2023.csv"));
    Record();
    EXPECT_EQ(form.LogLines().back().rfind("Data line not written to qelvoxxx_04_2023.csv", 0), 0u);
}

TEST_F(DataFileTest, WritesPointsInACommaLocale) {
    if (!test::UseCommaLocale()) GTEST_SKIP() << "no German locale available";
    AddRecord(0.5f, 9.5f);
    Record();
    test::RestoreCLocale();
    EXPECT_THAT(Read("qelvoxxx_04_2023.csv"), HasSubstr("\t00.500\t09.50\t"));
}

}  // namespace
}  // namespace noxa
