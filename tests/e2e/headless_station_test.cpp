// Whole-program smoke tests of the headless station: it starts, takes the simulator's reports
// from the network and ends cleanly. What it does second by second is tested in-process on a
// clock the tests move.
#include "station_files.h"
#include "station_process.h"

#include <QDate>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <gtest/gtest.h>

namespace noxa::test {
namespace {

QString Port(const StationProcess& station) {
    return QString::number(station.Port());
}

TEST(HeadlessStation, StartsWithoutAConfigurationAndEndsCleanlyOnSigterm) {
    QTemporaryDir dir;
    StationProcess station(dir.path());
    ASSERT_TRUE(station.Started());
    ASSERT_TRUE(station.WaitForLog("  Waiting NOXA-V4I broadcast on port 2255."));
    EXPECT_TRUE(station.Log().startsWith("Config file not found\n"));

    // Reports from the station's own instrument and from another one.
    ASSERT_TRUE(RunSimulator({"--port", Port(station), "--count", "5", "--interval-ms", "20"}));
    ASSERT_TRUE(RunSimulator(
        {"--port", Port(station), "--count", "3", "--interval-ms", "20", "--name", "otherstn"}));
    QTest::qWait(200);

    EXPECT_EQ(station.Terminate(), 0);
    EXPECT_FALSE(station.Log().contains("could not be opened"));
}

TEST(HeadlessStation, RecordsTheSimulatorsReportsInTheDataFile) {
    QTemporaryDir dir;
    WriteConfiguration(QDir(dir.path()), {{"Esalto", "1"}});
    StationProcess station(dir.path());
    ASSERT_TRUE(station.WaitForLog("  Waiting NOXA-V4I broadcast on port 2255."));
    // A line goes out with the first report after the first second.
    ASSERT_TRUE(RunSimulator(
        {"--port", Port(station), "--count", "8", "--interval-ms", "250", "--seed", "5"}));
    EXPECT_EQ(station.Terminate(), 0);

    const QString dataFile = QStringLiteral("qelvoxxx_%1_%2.csv")
                                 .arg(QDate::currentDate().month(), 2, 10, QChar('0'))
                                 .arg(QDate::currentDate().year());
    const QList<QByteArray> lines =
        QByteArray::fromStdString(ReadAll(QDir(dir.path()).filePath(dataFile))).split('\n');
    ASSERT_GE(lines.size(), 5) << dataFile.toStdString();
    EXPECT_TRUE(lines[0].startsWith("# qelvoxxx\tCI1: "));
    const QList<QByteArray> fields = lines[3].split('\t');
    ASSERT_EQ(fields.size(), 15) << lines[3].toStdString();
    EXPECT_NEAR(fields[3].toDouble(), 21, 3) << lines[3].toStdString();  // the 740 nm magnitude
}

TEST(HeadlessStation, KeepsRunningWhenItsPortIsTaken) {
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
    QTemporaryDir dir;
    StationProcess station(dir.path(), {}, holder.localPort());
    ASSERT_TRUE(station.WaitForLog(
        QStringLiteral("UDP port %1 could not be opened").arg(holder.localPort())));
    QTest::qWait(300);
    EXPECT_TRUE(station.Started());
    EXPECT_EQ(station.Terminate(), 0);
}

TEST(HeadlessStation, PrintsHelpAndVersion) {
    QProcess process;
    process.start(NOXA_STATION_BIN, {"--version"});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(process.readAllStandardOutput().contains("1.3.1.0"));
    process.start(NOXA_STATION_BIN, {"--help"});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0);
    const QByteArray help = process.readAllStandardOutput();
    EXPECT_TRUE(help.contains("--serial-device"));
    EXPECT_FALSE(help.contains("--udp-port"));  // an option for tests only
    process.start(NOXA_STATION_BIN, {"--headless", "--udp-port", "65536"});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 1);
    process.start(NOXA_SIM_BIN, {"--help"});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(process.readAllStandardOutput().contains("--interval-ms"));
}

}  // namespace
}  // namespace noxa::test
