#pragma once

#include "core/settings.h"
#include "core/station_log.h"

#include <QTimeZone>

#include <optional>
#include <vector>

namespace noxa {

class WorkDir;

// The station's settings file, in its working folder.
inline constexpr const char* kStationSettingsFile = "noxa-station.ini";

// What the station itself takes from the settings, beside what each output reads.
struct StationSettings {
    // The site's position where it is given; otherwise the configuration's serves.
    std::optional<double> latitude, longitude;
    // The site's own time zone, which its nights follow (noon to noon); the computer's unless
    // given.
    QTimeZone siteZone = QTimeZone::systemTimeZone();
    // The least important log lines shown.
    LogLevel logLevel = LogLevel::Info;
};

// Every setting: the station's, the safety limits' and every output's. The README lists them.
const std::vector<SettingSpec>& AllSettingSpecs();

// The settings of `dir`'s settings file and the options given.
Settings ReadSettings(const WorkDir& dir, const QCommandLineParser& parser);
StationSettings ReadStationSettings(const Settings& settings);

}  // namespace noxa
