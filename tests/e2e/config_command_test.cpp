// The instrument record edited and shown from the command line, without a display, and the
// options the station refuses or ignores.
#include "station_process.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace noxa::test {
namespace {

struct Finished {
    int exitCode = -1;
    QByteArray out, err;
};

// The station program run to its end in `dir`, with no display.
Finished RunStation(const QString& dir, const QStringList& arguments,
                    const QString& stateHome = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!stateHome.isEmpty()) environment.insert("XDG_STATE_HOME", stateHome);
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("QT_QPA_PLATFORM");
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(dir);
    process.start(NOXA_STATION_BIN, arguments);
    Finished run;
    if (!process.waitForFinished(10000)) return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

TEST(ConfigCommand, SetsTheRecordAndShowsItWithoutADisplay) {
    QTemporaryDir dir;
    const Finished defaults = RunStation(dir.path(), {"--show-config"});
    EXPECT_EQ(defaults.exitCode, 0);
    EXPECT_TRUE(defaults.out.contains("# Config file not found\n"));
    EXPECT_TRUE(defaults.out.contains("station=qelvoxxx\nlatitude=40.2\nlongitude=-3.7\n"));
    EXPECT_FALSE(QFile::exists(dir.filePath("Noxa.cfg")));

    const Finished set = RunStation(dir.path(), {"--set", "station=roof0001", "--set",
                                                 "latitude=-33.45", "--set", "serial_port=2"});
    EXPECT_EQ(set.exitCode, 0) << set.err.toStdString();
    EXPECT_TRUE(
        set.out.contains("station=roof0001\nlatitude=-33.45\nlongitude=-3.7\n"
                         "serial_port=2\n"))
        << set.out.toStdString();
    QFile record(dir.filePath("Noxa.cfg"));
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_EQ(record.size(), 400);

    // A refused value writes nothing, not even the good edits before it.
    const Finished refused =
        RunStation(dir.path(), {"--set", "station=dome0002", "--set", "chart_seconds=600"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("chart_seconds=600")) << refused.err.toStdString();
    EXPECT_TRUE(RunStation(dir.path(), {"--show-config"}).out.contains("station=roof0001\n"));
}

TEST(ConfigCommand, TheStateFolderIsTheServicesFolder) {
    QTemporaryDir here, state;
    const Finished set =
        RunStation(here.path(), {"--state-dir", "--set", "station=roof0001"}, state.path());
    EXPECT_EQ(set.exitCode, 0) << set.err.toStdString();
    EXPECT_TRUE(QFile::exists(state.filePath("noxa-station/Noxa.cfg")));
    EXPECT_FALSE(QFile::exists(here.filePath("Noxa.cfg")));
}

TEST(ConfigCommand, AnUnknownOptionIsSaidAsSuchWithoutADisplay) {
    QTemporaryDir dir;
    const Finished run = RunStation(dir.path(), {"--bogus"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("bogus")) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("display"));
    // The toolkit's own options stay the toolkit's.
    EXPECT_EQ(RunStation(dir.path(), {"-platform", "offscreen", "--show-config"}).exitCode, 0);
}

TEST(ConfigCommand, ASerialDeviceInNetworkModeIsSaidToBeIgnored) {
    QTemporaryDir dir;
    StationProcess station(dir.path(), {"--serial-device", "/dev/null"});
    EXPECT_TRUE(
        station.WaitForLog("--serial-device /dev/null ignored: the configuration is in "
                           "network mode"));
    EXPECT_EQ(station.Terminate(), 0);
}

}  // namespace
}  // namespace noxa::test
