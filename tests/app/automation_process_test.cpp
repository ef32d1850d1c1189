// The built station as a process: the registration switches, a normal start, a second station,
// and a station the bus starts for a client. Every station here reads a configuration whose
// broadcast port is not 2255, so none of them listens for broadcasts.
#include "../e2e/station_files.h"
#include "app/automation_registration.h"
#include "app/automation_service.h"
#include "automation_test_client.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <string>

namespace noxa {
namespace {

using ::testing::HasSubstr;

constexpr int kWaitMs = 30000;

QString StationProgram() {
    return QFileInfo(NOXA_STATION_BIN).canonicalFilePath();
}

std::string Contents(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

bool ProcessAlive(qint64 pid) {
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

// A folder for one test: "data" stands for XDG_DATA_HOME, "home" for the home folder, "work"
// for the folder the station is started in, "run" for the runtime folder.
class AutomationProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        for (const char* folder : {"data", "home", "work", "run"}) {
            ASSERT_TRUE(QDir(root.path()).mkpath(folder));
        }
        QFile::setPermissions(Path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // No broadcast listener: the broadcast port field is not 2255.
        for (const char* folder : {"home", "work"}) {
            test::WriteConfiguration(QDir(Path(folder)), {{"EPuertoEth", "2256"}});
        }
    }

    QString Path(const QString& name) const { return root.path() + "/" + name; }
    QString ServiceFile() const { return Path("data/dbus-1/services/Test.Dedazaduz.service"); }

    // The environment of a user without a display, with this test's folders, and with or
    // without the test's session bus.
    QProcessEnvironment Environment(bool withBus) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                                 "DBUS_STARTER_ADDRESS", "DBUS_STARTER_BUS_TYPE"}) {
            env.remove(name);
        }
        if (!withBus) env.remove("DBUS_SESSION_BUS_ADDRESS");
        env.insert("XDG_DATA_HOME", Path("data"));
        env.insert("HOME", Path("home"));
        env.insert("XDG_RUNTIME_DIR", Path("run"));
        return env;
    }

    // Runs the program to its end; returns its exit code, or -1 when it did not end normally.
    int Run(const QString& program, const QStringList& arguments, QString* output = nullptr) {
        QProcess process;
        process.setProcessEnvironment(Environment(false));
        process.setWorkingDirectory(Path("work"));
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (!process.waitForFinished(kWaitMs)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        if (output != nullptr) *output = QString::fromLocal8Bit(process.readAll());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    std::string ExpectedServiceFile(const QString& program) const {
        return ServiceFileText(program).toStdString();
    }

    QTemporaryDir root;
};

// The headless station in a folder of its own, its log collected as it comes.
class HeadlessStation {
public:
    HeadlessStation(const QString& workDir, const QProcessEnvironment& env) {
        process_.setProcessEnvironment(env);
        process_.setWorkingDirectory(workDir);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(StationProgram(), {"--headless"});
        process_.waitForStarted(kWaitMs);
    }
    ~HeadlessStation() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    QString Log() {
        log_ += QString::fromLocal8Bit(process_.readAllStandardOutput());
        return log_;
    }
    bool WaitForLog(const QString& text) {
        return QTest::qWaitFor([&] { return Log().contains(text); }, kWaitMs);
    }
    int Terminate() {
        ::kill(static_cast<pid_t>(process_.processId()), SIGTERM);
        if (!process_.waitForFinished(kWaitMs)) return -1;
        Log();
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }

private:
    QProcess process_;
    QString log_;
};

TEST_F(AutomationProcessTest, RegServerWritesTheServiceFileAndEndsWithoutAWindow) {
    // No display and no platform chosen: a station that tried to show its window would refuse
    // to start.
    for (const char* regServer : {"/REGSERVER", "-regserver", "--RegServer"}) {
        QFile::remove(ServiceFile());
        QString output;
        EXPECT_EQ(Run(StationProgram(), {regServer}, &output), 0) << regServer;
        EXPECT_TRUE(output.isEmpty()) << output.toStdString();
        EXPECT_EQ(Contents(ServiceFile()), ExpectedServiceFile(StationProgram())) << regServer;
        EXPECT_THAT(Contents(ServiceFile()),
                    HasSubstr("\nExec=" + StationProgram().toStdString() + " /Automation\n"));
    }
    // Nothing else was written: no configuration, no charts.
    EXPECT_EQ(QDir(Path("work")).entryList(QDir::Files), QStringList{"Noxa.cfg"});
}

TEST_F(AutomationProcessTest, UnregServerRemovesTheServiceFile) {
    ASSERT_EQ(Run(StationProgram(), {"/RegServer"}), 0);
    ASSERT_TRUE(QFile::exists(ServiceFile()));
    EXPECT_EQ(Run(StationProgram(), {"-unregserver"}), 0);
    EXPECT_FALSE(QFile::exists(ServiceFile()));
    EXPECT_EQ(Run(StationProgram(), {"/UNREGSERVER"}), 0);
    EXPECT_FALSE(QFile::exists(ServiceFile()));
}

TEST_F(AutomationProcessTest, AProgramInAFolderWithABlankIsQuoted) {
    const QString program = Path("night sky/noxa-station");
    ASSERT_TRUE(QDir(root.path()).mkpath("night sky"));
    ASSERT_TRUE(QFile::copy(StationProgram(), program));
    ASSERT_EQ(Run(program, {"/RegServer"}), 0);
    EXPECT_THAT(Contents(ServiceFile()),
                HasSubstr("\nExec=\"" + program.toStdString() + "\" /Automation\n"));
}

TEST_F(AutomationProcessTest, ANormalStartRewritesTheFileAndRunsWithoutABus) {
    ASSERT_TRUE(QDir().mkpath(Path("data/dbus-1/services")));
    QFile stale(ServiceFile());
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("[D-BUS Service]\nName=Test.Dedazaduz\nExec=/old/noxa-station /Automation\n");
    stale.close();

    HeadlessStation station(Path("work"), Environment(false));
    ASSERT_TRUE(station.WaitForLog("Automation service not available: no session bus\n"));
    EXPECT_EQ(Contents(ServiceFile()), ExpectedServiceFile(StationProgram()));
    EXPECT_TRUE(station.Log().startsWith("Read config file: "));
    EXPECT_EQ(station.Log().count("Automation service"), 1);
    EXPECT_EQ(station.Terminate(), 0);
}

TEST_F(AutomationProcessTest, ASecondStationRunsWithoutTheServiceTheFirstHolds) {
    if (!QDBusConnection::sessionBus().isConnected()) GTEST_SKIP() << "no session bus";
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    ASSERT_FALSE(bus->isServiceRegistered(kAutomationBusName).value());

    HeadlessStation first(Path("work"), Environment(true));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return bus->isServiceRegistered(kAutomationBusName).value(); }, kWaitMs));
    ASSERT_TRUE(QDir(root.path()).mkpath("second"));
    test::WriteConfiguration(QDir(Path("second")), {{"EPuertoEth", "2256"}});
    HeadlessStation second(Path("second"), Environment(true));
    ASSERT_TRUE(second.WaitForLog(
        "Automation service not available: the name Test.Dedazaduz is held by another "
        "program\n"));

    // The first one answers a client.
    test::AutomationClient client("automation-process-client");
    EXPECT_EQ(client.Property("MagZ"), QVariant(0));
    const QDBusMessage readings = client.CallMethod("Readings");
    ASSERT_EQ(readings.type(), QDBusMessage::ReplyMessage);
    const auto values = qdbus_cast<QMap<QString, QString>>(readings.arguments().constFirst());
    EXPECT_EQ(values.value("Lmv"), "--");
    EXPECT_FALSE(first.Log().contains("Automation service"));

    EXPECT_EQ(second.Terminate(), 0);
    EXPECT_EQ(first.Terminate(), 0);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !bus->isServiceRegistered(kAutomationBusName).value(); }, kWaitMs));
}

// A session bus of the test's own, started after the station was registered, so that it
// knows the service file.
class PrivateBus {
public:
    PrivateBus(const QString& socket, QProcessEnvironment env, const QString& workDir)
        : address_("unix:path=" + socket) {
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty()) return;
        // The services it starts find their bus as any session service does.
        env.insert("DBUS_SESSION_BUS_ADDRESS", address_);
        process_.setProcessEnvironment(env);
        process_.setWorkingDirectory(workDir);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(daemon,
                       {"--session", "--nofork", "--address=" + address_, "--print-address=1"});
        if (!process_.waitForStarted(kWaitMs) ||
            !QTest::qWaitFor([&] { return Output().contains(address_) || !Running(); }, kWaitMs)) {
            process_.kill();
        }
    }
    ~PrivateBus() {
        process_.terminate();
        if (!process_.waitForFinished(kWaitMs)) process_.kill();
    }

    bool Running() const { return process_.state() == QProcess::Running; }
    const QString& Address() const { return address_; }
    // What the daemon and the services it started have printed.
    QString Output() {
        output_ += QString::fromLocal8Bit(process_.readAll());
        return output_;
    }

private:
    QString address_;
    QProcess process_;
    QString output_;
};

TEST_F(AutomationProcessTest, TheBusStartsTheStationForACallAndItEndsAfterTheLastClient) {
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) {
        GTEST_SKIP() << "dbus-daemon is not installed";
    }
    // Registered from a folder with a blank, so the bus has to read the quoted path.
    const QString program = Path("night sky/noxa-station");
    ASSERT_TRUE(QDir(root.path()).mkpath("night sky"));
    ASSERT_TRUE(QFile::copy(StationProgram(), program));
    ASSERT_EQ(Run(program, {"/RegServer"}), 0);

    PrivateBus bus(Path("bus"), Environment(false), Path("work"));
    ASSERT_TRUE(bus.Running()) << "dbus-daemon: " << bus.Output().toStdString();
    auto client =
        std::make_unique<test::AutomationClient>("automation-activation-client", bus.Address());
    ASSERT_TRUE(client->Connected());

    const QDBusMessage reply =
        client->Call(QDBusMessage::createMethodCall(kAutomationBusName, kAutomationObjectPath,
                                                    "org.freedesktop.DBus.Properties", "Get")
                         << QString(kAutomationInterface) << QString("LinkOk"),
                     60000);
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage)
        << reply.errorMessage().toStdString() << bus.Output().toStdString();
    EXPECT_EQ(reply.arguments().constFirst().value<QDBusVariant>().variant().typeId(),
              QMetaType::Int);

    const QDBusReply<uint> pid = client->Bus().interface()->servicePid(kAutomationBusName);
    ASSERT_TRUE(pid.isValid());
    const QString proc = "/proc/" + QString::number(pid.value());
    EXPECT_EQ(Contents(proc + "/cmdline"), program.toStdString() + '\0' + "/Automation" + '\0');
    // It works in the home folder, without a window, and has read its configuration there.
    EXPECT_EQ(QFileInfo(proc + "/cwd").canonicalFilePath(),
              QFileInfo(Path("home")).canonicalFilePath());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return bus.Output().contains("Read config file: " + Path("home") + "/Noxa.cfg"); },
        kWaitMs))
        << bus.Output().toStdString();
    // A started station leaves the registration as it is.
    EXPECT_THAT(Contents(ServiceFile()), HasSubstr("Exec=\"" + program.toStdString() + "\""));

    client.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !ProcessAlive(pid.value()); }, kWaitMs));
    if (ProcessAlive(pid.value())) ::kill(static_cast<pid_t>(pid.value()), SIGKILL);
}

}  // namespace
}  // namespace noxa
