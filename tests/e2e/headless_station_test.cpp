#include "station_process.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <gtest/gtest.h>

namespace noxa::test {
namespace {

TEST(HeadlessStation, ListensDecodesAndEndsCleanlyOnSigterm) {
    QTemporaryDir dir;
    StationProcess station(dir.path());
    ASSERT_TRUE(station.Started());
    ASSERT_TRUE(station.WaitForLog("  Waiting NOXA-V4I broadcast on port 2255."));

    // Reports from the station's own instrument and from another one.
    ASSERT_TRUE(RunSimulator({"--count", "5", "--interval-ms", "20", "--seed", "3"}));
    ASSERT_TRUE(RunSimulator({"--count", "3", "--interval-ms", "20", "--name", "otherstn"}));
    QTest::qWait(200);

    EXPECT_EQ(station.Terminate(), 0);
    EXPECT_FALSE(station.Log().contains("could not be opened"));
}

TEST(HeadlessStation, KeepsRunningWhenPort2255IsTaken) {
    QUdpSocket holder;
    if (!holder.bind(QHostAddress::AnyIPv4, 2255, QAbstractSocket::DontShareAddress)) {
        GTEST_SKIP() << "port 2255 is in use on this machine";
    }
    QTemporaryDir dir;
    StationProcess station(dir.path());
    ASSERT_TRUE(station.WaitForLog("UDP port 2255 could not be opened"));
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
    process.start(NOXA_SIM_BIN, {"--help"});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(process.readAllStandardOutput().contains("--interval-ms"));
}

}  // namespace
}  // namespace noxa::test
