// The station second by second, on a clock the tests move, its timer handlers called where the
// timers would fire: the snapshot on the tenth tick, stale readings after silence, data lines,
// chart points, the month's end and a serial device that comes back.
#include "app/station.h"
#include "report_generator.h"
#include "support/pty_pair.h"
#include "support/station_fixture.h"
#include "time/date_time.h"
#include "time/station_clock.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace noxa {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// A report with fixed values, as the instrument lays it out.
constexpr char kReport[] =
    R"({"name":"qelvoxxx","seq":1,"F1":{"freq":1234.5,"mag":21.25,"zp":20.37},)"
    R"("F2":{"freq":2000.0,"mag":20.90,"zp":20.00},"F3":{"freq":600.0,"mag":20.80,"zp":19.60},)"
    R"("F4":{"freq":400.0,"mag":21.50,"zp":19.40,"tamb":10.25,"tsky":-15.30}})";

class StationTimingTest : public test::StationTest {
protected:
    // One second of station time and the tick that ends it.
    void Tick() {
        clock.Advance(1000);
        station.Tick();
    }
    void Receive(const std::string& datagram) { station.ReceiveDatagram(QByteArrayView(datagram)); }
    std::string Snapshot() { return dir.ReadFile("noxa.xml"); }
};

TEST_F(StationTimingTest, TheFirstSnapshotComesOnTheTenthTickBeforeAnyReport) {
    station.Start();
    for (int tick = 1; tick < 10; ++tick) Tick();
    EXPECT_FALSE(QFile::exists(dir.Path() + "/noxa.xml"));
    // The start-up chart point drew both charts.
    EXPECT_TRUE(QFile::exists(dir.Path() + "/mag.jpg"));
    EXPECT_TRUE(QFile::exists(dir.Path() + "/temp.jpg"));
    Tick();
    const std::string snapshot = Snapshot();
    EXPECT_THAT(snapshot, StartsWith("<NOXA> <Date>09/04/2023</Date><Time>22:00:15</Time>"));
    EXPECT_THAT(snapshot, HasSubstr("<MV740>--</MV740>"));
    EXPECT_THAT(snapshot, HasSubstr("<TAmb>- -</TAmb><TIR>- -</TIR></NOXA>"));
    EXPECT_THAT(snapshot, Not(HasSubstr("Sideral Time")));  // the clock has ticked
    EXPECT_THAT(Log(), testing::Contains("Created file: noxa.xml"));
    EXPECT_TRUE(QDir(dir.Path()).entryList({"*.bmp"}).isEmpty());
    EXPECT_TRUE(errors.empty());
}

TEST_F(StationTimingTest, RecordsReportsAndDeclaresSilence) {
    station.Start();
    station.Form().SetText(FormText::Esalto, "1");
    for (int tick = 1; tick <= 10; ++tick) {
        Receive(kReport);
        Tick();
    }
    station.ChartTick();
    // A line for every report after the first second, its header with the instrument's
    // constants; every line averages the same report: green is 2000 - 600 - 400 = 1000 Hz,
    // 12.5 mag.
    const std::string data = dir.ReadFile("qelvoxxx_04_2023.csv");
    EXPECT_THAT(data, StartsWith("# qelvoxxx\tCI1: 20.37\tCI2: 20\tCI3: 19.6\tCI4: 19.4"));
    EXPECT_THAT(data, HasSubstr("\r\n09/04/2023\t22:00:06\t01234.5\t21.25\t02000.0\t20.90"
                                "\t00600.0\t20.80\t01000.0\t12.50\t00400.0\t21.50\t"));
    EXPECT_EQ(QByteArray::fromStdString(data).count('\n'), 3 + 9);
    EXPECT_THAT(Snapshot(), HasSubstr("<MV740>21.25</MV740><MV640>20.90</MV640>"));
    EXPECT_THAT(Snapshot(), HasSubstr("<MVG>12.5</MVG><MVB>21.50</MVB><TAmb>10.25</TAmb>"
                                      "<TIR>-15.3</TIR>"));
    // The chart point holds the reports' means.
    EXPECT_FLOAT_EQ(station.Days().Newest().meanMv740, 21.25f);
    EXPECT_FLOAT_EQ(station.Days().Newest().meanTIR, -15.3f);
    EXPECT_FLOAT_EQ(station.Days().Newest().meanMvG, 12.5f);

    // The instrument falls silent: ten silent ticks leave the readings shown, the eleventh
    // marks them stale, and the snapshot of that tick says so.
    for (int tick = 11; tick <= 19; ++tick) Tick();
    EXPECT_EQ(Text(FormText::Lmv), "21.25");
    Tick();
    EXPECT_THAT(Snapshot(), HasSubstr("<MV740>-.-</MV740><MV640>-.-</MV640><MVR>-.-</MVR>"
                                      "<MVG>-.-</MVG><MVB>-.-</MVB>"));
    EXPECT_TRUE(errors.empty());
}

TEST_F(StationTimingTest, TheSimulatorsReportsReachTheSnapshot) {
    sim::ReportGenerator instrument("qelvoxxx", 5);
    station.Start();
    for (int tick = 1; tick <= 10; ++tick) {
        Receive(instrument.Next(tick));
        Tick();
    }
    EXPECT_THAT(Snapshot(), HasSubstr("<MV740>2"));  // a magnitude near 21
    EXPECT_THAT(Snapshot(), HasSubstr("<TAmb>"));
    EXPECT_THAT(Snapshot(), Not(HasSubstr("<TAmb>- -</TAmb>")));
}

TEST_F(StationTimingTest, AtTheMonthsEndTheDataGoesToANewFileWithItsHeader) {
    clock.Set(QDateTime(QDate(2026, 1, 31), QTime(23, 58, 30)));
    station.Start();
    station.Form().SetText(FormText::Esalto, "60");
    for (int tick = 1; tick <= 180; ++tick) {
        Tick();
        if (tick % 2 == 0) Receive(kReport);
        if (tick % 60 == 0) station.ChartTick();
    }
    for (const char* name : {"qelvoxxx_01_2026.csv", "qelvoxxx_02_2026.csv"}) {
        const QList<QByteArray> lines = QByteArray::fromStdString(dir.ReadFile(name)).split('\n');
        ASSERT_GE(lines.size(), 5) << name;
        EXPECT_TRUE(lines[0].startsWith("# qelvoxxx\tCI1: 20.37")) << name;
        EXPECT_TRUE(lines[2].startsWith("# Date\t")) << name;
    }
    EXPECT_THAT(dir.ReadFile("qelvoxxx_02_2026.csv"), HasSubstr("\n01/02/2026\t00:00:"));
    EXPECT_NEAR(station.Days().Newest().date + station.Days().Newest().time,
                ToDayNumber(clock.Now()), 1.0 / 86400);
    EXPECT_TRUE(errors.empty());
}

// The station in serial mode on port 1, a pty pair in its working folder.
class SerialStationTest : public test::StationTest {
protected:
    SerialStationTest() : StationTest(test::SerialDeviceInWorkDir()) {}

    void Tick() {
        clock.Advance(1000);
        station.Tick();
    }
    qsizetype LogCount(const std::string& line) {
        return std::count(Log().begin(), Log().end(), line);
    }

    test::PtyPair cable{dir.Path()};
};

TEST_F(SerialStationTest, ADeviceThatVanishesIsOpenedAgainWhenItReturns) {
    ASSERT_TRUE(cable.Start()) << cable.Error();
    station.Form().SetText(FormText::EPuerto, "1");
    station.SaveSettings();
    station.Start();
    ASSERT_EQ(LogCount("Serial Port: 1 OK"), 1);

    // The cable is pulled: from the ninth silent tick on the station tries again every tick.
    cable.Stop();
    for (int tick = 1; tick <= 8; ++tick) Tick();
    EXPECT_EQ(LogCount("Serial Port: 1 Fallo"), 0);
    Tick();
    Tick();
    EXPECT_EQ(LogCount("Serial Port: 1 Fallo"), 2);

    // Plugged in again: the next attempt opens it, and frames are decoded again.
    ASSERT_TRUE(cable.Start()) << cable.Error();
    Tick();
    EXPECT_EQ(LogCount("Serial Port: 1 OK"), 2);
    ASSERT_TRUE(cable.WriteFar(kReport));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            station.PollSerial();
            return Text(FormText::Lmv) == "21.25";
        },
        10000));
}

}  // namespace
}  // namespace noxa
