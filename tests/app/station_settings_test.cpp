#include "app/station_settings.h"

#include "support/settings_file.h"
#include "support/temp_dir.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace noxa {
namespace {

using ::testing::ElementsAre;

// The problems of a settings file as a user writes it, once `read` has read what it needs.
std::vector<std::string> Problems(const QByteArray& ini,
                                  const std::function<void(const Settings&)>& read = {}) {
    test::ScopedWorkDir dir;
    const Settings settings = test::ReadSettingsFile(dir, ini);
    if (read) read(settings);
    return settings.TakeProblems();
}

TEST(StationSettingsFile, EachUnknownKeyIsOneLineNamingTheFileAndTheKey) {
    EXPECT_THAT(Problems("[htpp]\nport=8080\n[http]\nport=8080\nprot=1\n"),
                ElementsAre("noxa-station.ini: unknown key [htpp] port ignored.",
                            "noxa-station.ini: unknown key [http] prot ignored."));
    EXPECT_THAT(Problems("port=8080\n"),
                ElementsAre("noxa-station.ini: unknown key port ignored."));
}

TEST(StationSettingsFile, OnAndOffAreTheOnlySpellings) {
    bool ida = false, charts = true;
    const auto read = [&](const Settings& settings) {
        ida = settings.OnOff("ida/enabled");
        charts = settings.OnOff("night/charts");
    };
    EXPECT_THAT(Problems("[ida]\nenabled=on\n[night]\ncharts=off\n", read), ElementsAre());
    EXPECT_TRUE(ida);
    EXPECT_FALSE(charts);
    for (const char* other : {"yes", "true", "1", "ON", "no"}) {
        SCOPED_TRACE(other);
        EXPECT_THAT(Problems(QByteArray("[ida]\nenabled=") + other + "\n", read),
                    ElementsAre("--ida (ida/enabled): \"" + std::string(other) +
                                "\" is neither on nor off; off applies."));
        EXPECT_FALSE(ida);
    }
}

TEST(StationSettingsFile, AnOptionWinsOverTheFile) {
    test::ScopedWorkDir dir;
    const Settings settings =
        test::ReadSettingsFile(dir, "[http]\nport=8080\n[log]\nlevel=loud\n", {"--http", "9090"});
    EXPECT_EQ(settings.Port("http/port"), 9090);
    EXPECT_EQ(ReadStationSettings(settings).logLevel, LogLevel::Info);
    EXPECT_THAT(settings.TakeProblems(),
                ElementsAre("--log-level (log/level): \"loud\" is not error, warning, info or "
                            "debug; info applies."));
}

TEST(StationSettingsFile, TextsWithCommasKeepTheirSpaces) {
    test::ScopedWorkDir dir;
    const Settings settings = test::ReadSettingsFile(
        dir,
        "[site]\ncontact = Dr. Zoe Muller, Department of Physics,  zm@example.org \n"
        "licence=\"CC BY, 4.0\"\n");
    EXPECT_EQ(settings.Text("site/contact"),
              "Dr. Zoe Muller, Department of Physics,  zm@example.org");
    EXPECT_EQ(settings.Text("site/licence"), "CC BY, 4.0");
}

TEST(StationSettingsFile, AnUnknownTimeZoneIsSaidAndTheComputersApplies) {
    test::ScopedWorkDir dir;
    const Settings settings = test::ReadSettingsFile(dir, "[site]\ntime_zone=America/Denvr\n");
    const QTimeZone computers = QTimeZone::systemTimeZone();
    EXPECT_EQ(ReadStationSettings(settings).siteZone, computers);
    EXPECT_THAT(settings.TakeProblems(),
                ElementsAre("--site-time-zone (site/time_zone): \"America/Denvr\" is no time "
                            "zone known here; the computer's (" +
                            computers.id().toStdString() + ") applies."));
}

// The settings page's table of settings lists every setting with its option and default, and
// nothing else: a setting added or renamed in the code shows here.
TEST(StationSettingsFile, TheReadmeTableListsEverySettingWithItsOption) {
    QFile readme(QStringLiteral(NOXA_README));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    std::map<std::string, std::string> rows;  // "[section] key" -> the row
    const QRegularExpression key(QStringLiteral("`\\[(\\w+)\\] (\\w+)`"));
    for (const QByteArray& line : readme.readAll().split('\n')) {
        if (!line.startsWith("| `[")) continue;
        const QString row = QString::fromUtf8(line);
        const QString keys = row.section('|', 1, 1);
        for (auto match = key.globalMatch(keys); match.hasNext();) {
            const auto m = match.next();
            rows[(m.captured(1) + "/" + m.captured(2)).toStdString()] = row.toStdString();
        }
    }
    std::set<std::string> specified;
    for (const SettingSpec& spec : AllSettingSpecs()) {
        specified.insert(spec.key);
        ASSERT_TRUE(rows.count(spec.key)) << spec.key;
        const std::string& row = rows[spec.key];
        if (spec.option) {
            EXPECT_NE(row.find(std::string("`--") + spec.option), row.npos) << row;
        }
        if (*spec.defaultValue) {
            EXPECT_NE(row.find(std::string("`") + spec.defaultValue + "`"), row.npos) << row;
        }
    }
    for (const auto& [name, row] : rows) EXPECT_TRUE(specified.count(name)) << row;
}

}  // namespace
}  // namespace noxa
