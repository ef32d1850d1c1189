#pragma once

#include "app/station_settings.h"
#include "support/temp_dir.h"

#include <QCommandLineParser>
#include <QFile>

#include <gtest/gtest.h>

namespace noxa::test {

// The settings of `dir` read the way the program reads them, with `options` given.
inline Settings ReadSettingsFile(const ScopedWorkDir& dir, const QStringList& options = {}) {
    QCommandLineParser parser;
    AddSettingOptions(parser, AllSettingSpecs());
    EXPECT_TRUE(parser.parse(QStringList{"noxa-station"} + options));
    return ReadSettings(dir.Dir(), parser);
}

// The same, the settings file holding `ini` as a user wrote it.
inline Settings ReadSettingsFile(const ScopedWorkDir& dir, const QByteArray& ini,
                                 const QStringList& options = {}) {
    QFile file(dir.Path() + "/" + kStationSettingsFile);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ini);
    file.close();
    return ReadSettingsFile(dir, options);
}

}  // namespace noxa::test
