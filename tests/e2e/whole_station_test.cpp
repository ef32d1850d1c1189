// The headless station as a user runs it, driven from outside on loopback only.
#include "recording/day_tables.h"
#include "station_files.h"
#include "station_process.h"
#include "support/pty_pair.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace noxa::test {
namespace {

using ::testing::HasSubstr;

constexpr int kSlowMs = 30000;

// A report with fixed values, as the instrument lays it out.
QByteArray FixedReport() {
    return R"({"name":"qelvoxxx","seq":1,"F1":{"freq":1234.5,"mag":21.25,"zp":20.37},)"
           R"("F2":{"freq":2000.0,"mag":20.90,"zp":20.00},"F3":{"freq":600.0,"mag":20.80,"zp":19.60},)"
           R"("F4":{"freq":400.0,"mag":21.50,"zp":19.40,"tamb":10.25,"tsky":-15.30}})";
}

std::unique_ptr<DayTables> ReadDayBuffers(const QDir& dir) {
    const std::string bytes = ReadAll(dir.filePath("noxagraf.hex"));
    if (bytes.size() != kDayBufferFileSize) return nullptr;
    auto days = std::make_unique<DayTables>();
    std::memcpy(days->slot.data(), bytes.data(), bytes.size());
    return days;
}

QString DataFileName() {
    return QStringLiteral("qelvoxxx_%1_%2.csv")
        .arg(QDate::currentDate().month(), 2, 10, QChar('0'))
        .arg(QDate::currentDate().year());
}

class WholeStationTest : public ::testing::Test {
protected:
    QString File(const char* name) const { return QDir(dir.path()).filePath(name); }
    bool WaitFor(const std::function<bool()>& condition, int timeoutMs = kSlowMs) {
        return QTest::qWaitFor(condition, timeoutMs);
    }

    QTemporaryDir dir;
};

TEST_F(WholeStationTest, StartsWithoutAConfigurationAndKeepsItsFiles) {
    StationProcess station(dir.path());
    ASSERT_TRUE(station.WaitForLog("  Waiting NOXA-V4I broadcast on port 2255."));
    EXPECT_TRUE(station.Log().startsWith("Config file not found\n"));

    // The start-up chart point and the chart timer's first point.
    ASSERT_TRUE(WaitFor([&] { return QFile(File("noxagraf.hex")).size() == 103680; }));
    EXPECT_TRUE(QFile::exists(File("mag.jpg")));
    EXPECT_TRUE(QFile::exists(File("temp.jpg")));

    // The first snapshot on the tenth tick, before any report.
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(File("noxa.xml")); }));
    const std::string snapshot = ReadAll(File("noxa.xml"));
    EXPECT_THAT(snapshot, HasSubstr("<MV740>--</MV740>"));
    EXPECT_THAT(snapshot, HasSubstr("<TAmb>- -</TAmb><TIR>- -</TIR></NOXA>"));
    EXPECT_THAT(snapshot, testing::Not(HasSubstr("Sideral Time")));  // the clock has ticked
    EXPECT_TRUE(station.WaitForLog("Created file: noxa.xml"));

    EXPECT_TRUE(QDir(dir.path()).entryList({"*.bmp"}).isEmpty());
    EXPECT_EQ(station.Terminate(), 0);
}

TEST_F(WholeStationTest, RecordsReportsAndDeclaresSilence) {
    WriteConfiguration(QDir(dir.path()), {{"Esalto", "1"}, {"ETiempo", "1"}});
    StationProcess station(dir.path());
    ASSERT_TRUE(station.WaitForLog("Read config file: "));
    ASSERT_TRUE(station.WaitForLog("  Waiting NOXA-V4I broadcast on port 2255."));

    QUdpSocket instrument;
    const QByteArray report = FixedReport();
    const auto send = [&] {
        instrument.writeDatagram(report, QHostAddress::LocalHost, 2255);
        QTest::qWait(250);
    };
    // Reports until a data line, a snapshot with their texts and a chart point with their
    // means are all there.
    const QString dataFile = File(DataFileName().toUtf8().constData());
    ASSERT_TRUE(WaitFor([&] {
        send();
        const std::unique_ptr<DayTables> days = ReadDayBuffers(QDir(dir.path()));
        return ReadAll(dataFile).find("\t01234.5\t21.25\t") != std::string::npos &&
               ReadAll(File("noxa.xml")).find("<MV740>21.25</MV740>") != std::string::npos &&
               days && days->Newest().meanMv740 == 21.25f;
    }));
    const std::string data = ReadAll(dataFile);
    EXPECT_THAT(data, testing::StartsWith("# qelvoxxx\tCI1: 20.37\tCI2: 20\tCI3: 19.6\tCI4: 19.4"));
    // Every line averages the same report: green is 2000 - 600 - 400 = 1000 Hz, 12.5 mag.
    EXPECT_THAT(data, HasSubstr("\t01234.5\t21.25\t02000.0\t20.90\t00600.0\t20.80\t01000.0\t12.50"
                                "\t00400.0\t21.50\t"));
    const std::string snapshot = ReadAll(File("noxa.xml"));
    EXPECT_THAT(snapshot, HasSubstr("<MVG>12.5</MVG><MVB>21.50</MVB><TAmb>10.25</TAmb>"
                                    "<TIR>-15.3</TIR>"));
    const std::unique_ptr<DayTables> days = ReadDayBuffers(QDir(dir.path()));
    ASSERT_TRUE(days);
    EXPECT_FLOAT_EQ(days->Newest().meanTIR, -15.3f);
    EXPECT_FLOAT_EQ(days->Newest().meanMvG, 12.5f);

    // The instrument falls silent: after 11 silent ticks the next snapshot says so.
    EXPECT_TRUE(WaitFor(
        [&] { return ReadAll(File("noxa.xml")).find("<MV740>-.-</MV740>") != std::string::npos; }));
    EXPECT_EQ(station.Terminate(), 0);
}

TEST_F(WholeStationTest, TheSimulatorsReportsReachTheSnapshot) {
    StationProcess station(dir.path());
    ASSERT_TRUE(station.WaitForLog("  Waiting NOXA-V4I broadcast on port 2255."));
    ASSERT_TRUE(RunSimulator({"--count", "12", "--interval-ms", "1000", "--seed", "5"}));
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(File("noxa.xml")); }));
    const std::string snapshot = ReadAll(File("noxa.xml"));
    EXPECT_THAT(snapshot, HasSubstr("<MV740>2"));  // a magnitude near 21
    EXPECT_THAT(snapshot, HasSubstr("<TAmb>"));
    EXPECT_THAT(snapshot, testing::Not(HasSubstr("<TAmb>- -</TAmb>")));
    EXPECT_EQ(station.Terminate(), 0);
}

TEST_F(WholeStationTest, ARestartKeepsTheChartHistory) {
    {
        WriteConfiguration(QDir(dir.path()), {{"ETiempo", "1"}});
        StationProcess first(dir.path());
        ASSERT_TRUE(WaitFor([&] { return QFile(File("noxagraf.hex")).size() == 103680; }));
        QTest::qWait(2500);  // a few more points
        EXPECT_EQ(first.Terminate(), 0);
    }
    const std::unique_ptr<DayTables> before = ReadDayBuffers(QDir(dir.path()));
    ASSERT_TRUE(before);
    QFile::remove(File("Noxa.cfg"));  // the default interval: exactly two points at start-up

    StationProcess second(dir.path());
    std::unique_ptr<DayTables> after;
    ASSERT_TRUE(WaitFor([&] {
        after = ReadDayBuffers(QDir(dir.path()));
        return after && after->Newest().time != before->Newest().time;
    }));
    // The start-up point and the chart timer's first point follow the stored ones directly.
    for (std::size_t i = 0; i + 2 < kDaySlots; ++i) {
        ASSERT_EQ(after->slot[i].time, before->slot[i + 2].time) << i;
        ASSERT_EQ(after->slot[i].meanMv740, before->slot[i + 2].meanMv740) << i;
    }
    EXPECT_EQ(second.Terminate(), 0);
}

TEST_F(WholeStationTest, ReadsAnInstrumentOnASerialLine) {
    PtyPair cable(dir.path());
    ASSERT_TRUE(cable.Start()) << cable.Error();
    WriteConfiguration(QDir(dir.path()), {{"EPuerto", "1"}});
    StationProcess station(dir.path(), {"--serial-device", cable.StationEnd()});
    ASSERT_TRUE(station.WaitForLog("Serial Port: 1 OK"));

    QProcess instrument;
    instrument.setProcessChannelMode(QProcess::ForwardedChannels);
    instrument.start(NOXA_SIM_BIN, {"--serial-device", cable.FarEnd(), "--interval-ms", "1000",
                                    "--count", "40", "--seed", "9"});
    // Frames decoded into readings reach the snapshot; the instrument is never silent long
    // enough for a reconnect.
    EXPECT_TRUE(WaitFor([&] {
        const std::string snapshot = ReadAll(File("noxa.xml"));
        return snapshot.find("<MV740>2") != std::string::npos &&
               snapshot.find("<TAmb>- -") == std::string::npos;
    }));
    EXPECT_FALSE(station.Log().contains("Fallo"));
    instrument.kill();
    instrument.waitForFinished(5000);
    EXPECT_EQ(station.Terminate(), 0);
}

TEST_F(WholeStationTest, ASerialDeviceThatVanishesIsOpenedAgainWhenItReturns) {
    PtyPair cable(dir.path());
    ASSERT_TRUE(cable.Start()) << cable.Error();
    WriteConfiguration(QDir(dir.path()), {{"EPuerto", "1"}});
    StationProcess station(dir.path(), {"--serial-device", cable.StationEnd()});
    ASSERT_TRUE(station.WaitForLog("Serial Port: 1 OK"));

    // The cable is pulled: the silent instrument makes the station try again every tick.
    cable.Stop();
    ASSERT_TRUE(station.WaitForLog("Serial Port: 1 Fallo", kSlowMs));
    const qsizetype okLines = station.Log().count("Serial Port: 1 OK");

    // Plugged in again: the next attempt opens it, and frames are decoded again.
    ASSERT_TRUE(cable.Start()) << cable.Error();
    ASSERT_TRUE(QTest::qWaitFor([&] { return station.Log().count("Serial Port: 1 OK") > okLines; },
                                kSlowMs));
    QProcess instrument;
    instrument.setProcessChannelMode(QProcess::ForwardedChannels);
    instrument.start(NOXA_SIM_BIN, {"--serial-device", cable.FarEnd(), "--interval-ms", "1000",
                                    "--count", "40", "--seed", "3"});
    EXPECT_TRUE(
        WaitFor([&] { return ReadAll(File("noxa.xml")).find("<MV740>2") != std::string::npos; }));
    EXPECT_TRUE(station.Started());
    instrument.kill();
    instrument.waitForFinished(5000);
    EXPECT_EQ(station.Terminate(), 0);
}

}  // namespace
}  // namespace noxa::test
