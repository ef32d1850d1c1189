#include "app/station_outputs.h"

#include "app/station.h"
#include "core/observation_feed.h"
#include "support/station_fixture.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace noxa {
namespace {

using StationOutputsTest = test::StationTest;

// The settings as a user writes them, read the way the program reads them.
StationSettings Settings(const test::ScopedWorkDir& dir, const QByteArray& ini,
                         std::vector<std::string>& problems) {
    QFile file(dir.Path() + "/" + StationSettings::kFileName);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ini);
    file.close();
    QCommandLineParser parser;
    AddSettingOptions(parser);
    parser.parse({"noxa-station"});
    return LoadStationSettings(dir.Dir(), parser, problems);
}

TEST_F(StationOutputsTest, NightFilesAreWrittenOnlyWhenTurnedOnWithTheSiteOfTheSettings) {
    std::vector<std::string> problems;
    StationSettings settings =
        Settings(dir, "[ida]\nenabled=on\n[site]\nlocation=Roof\nheight=x\n", problems);
    EXPECT_EQ(problems.size(), 1u);  // the height that is no number
    ASSERT_TRUE(settings.ida.enabled);
    station.Config().latitude = 40.5f;
    StationOutputs outputs(station, clock, settings);
    outputs.Start();

    IntervalRecord record;
    record.end = clock.NowUtc();
    record.magV = 21.2f;
    emit station.Feed().recorded(record);
    const QStringList files = QDir(dir.Path() + "/ida").entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    const std::string text = dir.ReadFile("ida/" + files[0]);
    EXPECT_NE(text.find("Roof"), std::string::npos);
    EXPECT_NE(text.find("40.5"), std::string::npos);  // the configuration's position
    EXPECT_TRUE(files[0].endsWith("_qelvoxxx.dat")) << files[0].toStdString();

    StationSettings off = Settings(dir, "", problems);
    EXPECT_FALSE(off.ida.enabled);
}

}  // namespace
}  // namespace noxa
