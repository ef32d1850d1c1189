// The instrument record edited and shown from the command line, without a display, and the
// options the station refuses or ignores.
#include "station_process.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <utility>

namespace noxa::test {
namespace {

struct Finished {
    int exitCode = -1;
    QByteArray out, err;
};

// The station program run to its end in `dir`, with no display.
Finished RunProgram(const QString& program, const QString& dir, const QStringList& arguments,
                    const QString& home = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!home.isEmpty()) environment.insert("HOME", home);
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("QT_QPA_PLATFORM");
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(dir);
    process.start(program, arguments);
    Finished run;
    if (!process.waitForFinished(10000)) return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

Finished RunStation(const QString& dir, const QStringList& arguments, const QString& home = {}) {
    return RunProgram(NOXA_STATION_BIN, dir, arguments, home);
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
    QTemporaryDir here, home;
    const Finished set =
        RunStation(here.path(), {"--state-dir", "--set", "station=roof0001"}, home.path());
    EXPECT_EQ(set.exitCode, 0) << set.err.toStdString();
    EXPECT_TRUE(QFile::exists(home.filePath(".local/state/noxa-station/Noxa.cfg")));
    EXPECT_FALSE(QFile::exists(here.filePath("Noxa.cfg")));
}

TEST(ConfigCommand, HelpAndVersionWinAndWriteNothing) {
    QTemporaryDir here, home;
    for (const char* option : {"--help", "--version"}) {
        const Finished run = RunStation(
            here.path(), {"--state-dir", "--set", "station=roof0001", option}, home.path());
        EXPECT_EQ(run.exitCode, 0) << option;
        EXPECT_FALSE(run.out.isEmpty()) << option;
    }
    EXPECT_TRUE(QDir(home.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

// Refused edits: each names what is wrong and writes nothing.
TEST(ConfigCommand, ValuesThatCannotBeStoredAsTypedAreRefused) {
    QTemporaryDir dir;
    // The edits' bytes as typed, through the shell, since a program's arguments here are text.
    const struct {
        const char* edit;
        const char* said;
    } cases[] = {
        {"station=K\\344se01", "not valid UTF-8"},
        {"station=xxxxxxxxxxx\\303\\244\\303\\244\\303\\244\\303\\244\\303\\244",
         "at most 20 bytes (characters outside ASCII take more)"},
    };
    for (const auto& c : cases) {
        const Finished run = RunProgram(
            "/bin/sh", dir.path(),
            {"-c", QString("exec \"$0\" --set \"$(printf '%1')\"").arg(c.edit), NOXA_STATION_BIN});
        EXPECT_EQ(run.exitCode, 1) << c.said;
        EXPECT_TRUE(run.err.contains(c.said)) << run.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("Noxa.cfg")));
}

TEST(ConfigCommand, APositionThatRoundsToZeroReadsBackAsZero) {
    QTemporaryDir dir;
    const Finished run = RunStation(dir.path(), {"--set", "latitude=-0.0001"});
    EXPECT_TRUE(run.out.contains("\nlatitude=0\n")) << run.out.toStdString();
}

// A record that cannot be edited: named, with what is wrong and how to start afresh.
TEST(ConfigCommand, AnUnusableRecordIsNamedWithHowToStartAfresh) {
    QTemporaryDir damaged, folder;
    QFile short_(damaged.filePath("Noxa.cfg"));
    ASSERT_TRUE(short_.open(QIODevice::WriteOnly));
    short_.write(QByteArray(120, '0'));
    short_.close();
    ASSERT_TRUE(QDir(folder.path()).mkdir("Noxa.cfg"));
    const struct {
        QString dir;
        QStringList arguments;
        const char* said;
    } cases[] = {
        {damaged.path(), {"--set", "station=roof0001"}, "damaged"},
        {folder.path(), {"--show-config"}, "is not a file (a folder)"},
        {folder.path(), {"--set", "station=roof0001"}, "is not a file (a folder)"},
    };
    for (const auto& c : cases) {
        const Finished run = RunStation(c.dir, c.arguments);
        EXPECT_EQ(run.exitCode, 1) << c.said;
        EXPECT_TRUE(run.err.contains(c.said)) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QDir(c.dir).filePath("Noxa.cfg").toUtf8() + ".old'"))
            << run.err.toStdString();
    }
    EXPECT_EQ(QFileInfo(short_).size(), 120);
}

TEST(ConfigCommand, ARunningStationIsToldOfWithHowToRestartIt) {
    QTemporaryDir dir;
    StationProcess station(dir.path(), {});
    ASSERT_TRUE(station.WaitForLog("Waiting NOXA-V4I broadcast"));
    const Finished set = RunStation(dir.path(), {"--set", "station=roof0001"});
    EXPECT_EQ(set.exitCode, 0);
    EXPECT_TRUE(set.err.contains("systemctl --user restart noxa-station")) << set.err.toStdString();
    EXPECT_EQ(station.Terminate(), 0);
    EXPECT_FALSE(RunStation(dir.path(), {"--set", "station=roof0002"}).err.contains("running"));
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
    QTemporaryDir byOption, byFile;
    QFile settings(byFile.filePath("noxa-station.ini"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[serial]\ndevice=/dev/null\n");
    settings.close();
    for (const auto& [dir, arguments] :
         {std::pair{byOption.path(), QStringList{"--serial-device", "/dev/null"}},
          std::pair{byFile.path(), QStringList{}}}) {
        StationProcess station(dir, arguments);
        EXPECT_TRUE(
            station.WaitForLog("Serial device /dev/null (--serial-device, [serial] "
                               "device) ignored: the configuration is in network mode"));
        EXPECT_EQ(station.Terminate(), 0);
    }
}

}  // namespace
}  // namespace noxa::test
