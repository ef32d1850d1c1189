#include "app/station_settings.h"

#include "support/settings_file.h"
#include "support/temp_dir.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace noxa {
namespace {

using ::testing::ElementsAre;

// The problems of a settings file as a user writes it, read the way the program reads it.
std::vector<std::string> Problems(const QByteArray& ini, StationSettings* settings = nullptr) {
    test::ScopedWorkDir dir;
    std::vector<std::string> problems;
    StationSettings read = test::ReadSettingsFile(dir, ini, problems);
    if (settings != nullptr) *settings = read;
    return problems;
}

TEST(StationSettingsFile, EachUnknownKeyIsOneLineNamingTheFileAndTheKey) {
    EXPECT_THAT(Problems("[htpp]\nport=8080\n[http]\nport=8080\nprot=1\n"),
                ElementsAre("noxa-station.ini: unknown key [htpp] port ignored.",
                            "noxa-station.ini: unknown key [http] prot ignored."));
    EXPECT_THAT(Problems("port=8080\n"),
                ElementsAre("noxa-station.ini: unknown key port ignored."));
}

TEST(StationSettingsFile, OnAndOffAreTheOnlySpellings) {
    StationSettings settings;
    EXPECT_THAT(Problems("[ida]\nenabled=on\n[night]\ncharts=off\n", &settings), ElementsAre());
    EXPECT_TRUE(settings.ida.enabled);
    EXPECT_FALSE(settings.nightCharts);
    for (const char* other : {"yes", "true", "1", "ON", "no"}) {
        SCOPED_TRACE(other);
        EXPECT_THAT(Problems(QByteArray("[ida]\nenabled=") + other + "\n", &settings),
                    ElementsAre("--ida (ida/enabled): \"" + std::string(other) +
                                "\" is neither on nor off; off applies."));
        EXPECT_FALSE(settings.ida.enabled);
    }
}

// The README's table of settings lists every setting with its option and default, and nothing
// else: a setting added or renamed in the code shows here.
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
    for (const SettingSpec& spec : SettingSpecs()) {
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
