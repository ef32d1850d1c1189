#include "app/automation_registration.h"

#include "automation_test_client.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace noxa {
namespace {

using ::testing::ElementsAre;

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QString& value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        setenv(name, QFile::encodeName(value).constData(), 1);
    }
    ~ScopedEnv() {
        if (previous_) {
            setenv(name_, previous_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> previous_;
};

struct Taken {
    AutomationSwitches switches;
    std::vector<std::string> rest;
    bool terminated = false;
};

Taken Take(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(arguments.size());
    Taken taken;
    taken.switches = TakeAutomationSwitches(argc, argv.data());
    for (int i = 0; i < argc; ++i) taken.rest.emplace_back(argv[i]);
    taken.terminated = argv[argc] == nullptr;
    return taken;
}

TEST(AutomationSwitches, AreTakenInAnyCaseAfterSlashOrDash) {
    for (const char* regServer : {"/REGSERVER", "-regserver", "--RegServer", "/regServer"}) {
        const Taken taken = Take({"noxa-station", regServer});
        EXPECT_TRUE(taken.switches.regServer) << regServer;
        EXPECT_FALSE(taken.switches.unregServer);
        EXPECT_FALSE(taken.switches.automation);
        EXPECT_TRUE(taken.switches.EndsAfterRegistration());
        EXPECT_THAT(taken.rest, ElementsAre("noxa-station"));
    }
    EXPECT_TRUE(Take({"noxa-station", "/UNREGSERVER"}).switches.unregServer);
    EXPECT_TRUE(Take({"noxa-station", "-UnRegServer"}).switches.unregServer);
    for (const char* automation : {"/Automation", "-AUTOMATION", "/Embedding", "-embedding"}) {
        const Taken taken = Take({"noxa-station", automation});
        EXPECT_TRUE(taken.switches.automation) << automation;
        EXPECT_FALSE(taken.switches.EndsAfterRegistration());
    }
}

TEST(AutomationSwitches, LeaveEverythingElseToTheOptionParser) {
    const Taken taken = Take({"noxa-station", "--headless", "/Automation", "--serial-device",
                              "/dev/ttyUSB0", "regserver", "/regserverx", "-r", "/EMBEDDING"});
    EXPECT_TRUE(taken.switches.automation);
    EXPECT_FALSE(taken.switches.regServer);
    EXPECT_THAT(taken.rest, ElementsAre("noxa-station", "--headless", "--serial-device",
                                        "/dev/ttyUSB0", "regserver", "/regserverx", "-r"));
    EXPECT_TRUE(taken.terminated);
    EXPECT_FALSE(Take({"noxa-station"}).switches.EndsAfterRegistration());
}

TEST(AutomationServiceFile, NamesTheProgramWithTheAutomationSwitch) {
    EXPECT_EQ(ServiceFileText("/usr/bin/noxa-station"),
              "[D-BUS Service]\nName=Test.Dedazaduz\nExec=/usr/bin/noxa-station /Automation\n");
}

TEST(AutomationServiceFile, QuotesAPathThatNeedsIt) {
    EXPECT_EQ(QuoteExecProgram("/opt/noxa_1.3/bin/noxa-station"), "/opt/noxa_1.3/bin/noxa-station");
    EXPECT_EQ(QuoteExecProgram("/home/ana/night sky/noxa-station"),
              R"("/home/ana/night sky/noxa-station")");
    EXPECT_EQ(QuoteExecProgram("/home/ana/céu/noxa-station"), R"("/home/ana/céu/noxa-station")");
    EXPECT_EQ(QuoteExecProgram("/home/ana/it's/noxa-station"), R"("/home/ana/it's/noxa-station")");
    // The command line's \", \`, \$ and \\, each backslash doubled for the file.
    EXPECT_EQ(QuoteExecProgram(R"(/a"b/c`d/$e/f\g)"), R"("/a\\"b/c\\`d/\\$e/f\\\\g")");
    EXPECT_EQ(ServiceFileText("/a b/noxa-station"),
              "[D-BUS Service]\nName=Test.Dedazaduz\nExec=\"/a b/noxa-station\" /Automation\n");
    // A line break cannot be written into the file.
    EXPECT_TRUE(ServiceFileText("/a\nb/noxa-station").isEmpty());
}

class AutomationRegistrationTest : public ::testing::Test {
protected:
    QString ServiceFile() const {
        return dir.path() + "/data/dbus-1/services/Test.Dedazaduz.service";
    }
    static std::string Contents(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return file.readAll().toStdString();
    }

    QTemporaryDir dir;
    ScopedEnv dataHome{"XDG_DATA_HOME", dir.path() + "/data"};
    QString error;
};

TEST_F(AutomationRegistrationTest, TheFolderComesFromXdgDataHomeOrTheHomeFolder) {
    EXPECT_EQ(ServiceFilePath(), ServiceFile());
    ScopedEnv home("HOME", dir.path() + "/home");
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(ServiceFileDirectory(), dir.path() + "/home/.local/share/dbus-1/services");
}

TEST_F(AutomationRegistrationTest, WritesRewritesAndRemovesTheServiceFile) {
    ASSERT_TRUE(RegisterAutomationServer("/opt/one/noxa-station", error)) << error.toStdString();
    EXPECT_EQ(Contents(ServiceFile()),
              "[D-BUS Service]\nName=Test.Dedazaduz\nExec=/opt/one/noxa-station /Automation\n");

    ASSERT_TRUE(RegisterAutomationServer("/opt/two/noxa-station", error));
    EXPECT_EQ(Contents(ServiceFile()),
              "[D-BUS Service]\nName=Test.Dedazaduz\nExec=/opt/two/noxa-station /Automation\n");
    // Nothing is left beside it.
    EXPECT_THAT(QDir(dir.path() + "/data/dbus-1/services").entryList(QDir::Files),
                ElementsAre("Test.Dedazaduz.service"));

    ASSERT_TRUE(UnregisterAutomationServer(error));
    EXPECT_FALSE(QFile::exists(ServiceFile()));
    EXPECT_TRUE(UnregisterAutomationServer(error));
}

TEST_F(AutomationRegistrationTest, ReportsAFolderThatCannotBeMade) {
    QFile blocker(dir.path() + "/data");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(RegisterAutomationServer("/opt/one/noxa-station", error));
    EXPECT_EQ(error, "cannot make the folder " + dir.path() + "/data/dbus-1/services");
}

TEST_F(AutomationRegistrationTest, RefusesAPathItCannotWrite) {
    EXPECT_FALSE(RegisterAutomationServer("/opt/a\rb/noxa-station", error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(ServiceFile()));
}

}  // namespace
}  // namespace noxa
