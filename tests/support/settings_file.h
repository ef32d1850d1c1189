#pragma once

#include "app/station_settings.h"
#include "support/temp_dir.h"

#include <QCommandLineParser>
#include <QFile>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace noxa::test {

// The settings of `dir` as a user writes them (the settings file holds `ini`), read the way the
// program reads them, with no option given.
inline StationSettings ReadSettingsFile(const ScopedWorkDir& dir, const QByteArray& ini,
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

}  // namespace noxa::test
