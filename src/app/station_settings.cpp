#include "app/station_settings.h"

#include "app/station_outputs.h"
#include "core/work_dir.h"
#include "outputs/common/safety_settings.h"

namespace noxa {
namespace {

const std::vector<SettingSpec> kStationSpecs{
    {"log/level", "log-level", "level", "info",
     "The least important log lines shown: error, warning, info or debug."},
    {"serial/device", "serial-device", "path", "",
     "In serial mode, open this device (a USB adapter such as /dev/ttyUSB0, a pty) instead of "
     "the configured port's /dev/ttyS<n-1>."},
    {"site/location", "site-location", "name", "",
     "The site's name in the night files and for Alpaca clients."},
    {"site/latitude", "site-latitude", "degrees", "",
     "The site's latitude, north positive; empty means the configuration's."},
    {"site/longitude", "site-longitude", "degrees", "",
     "The site's longitude, east positive; empty means the configuration's."},
    {"site/time_zone", "site-time-zone", "zone", "",
     "The site's time zone (an IANA name such as America/Denver), which the nights follow; "
     "empty means the computer's."},
};

// The zone the setting names; the computer's, with a problem said, for a name not known here.
QTimeZone ReadSiteZone(const Settings& settings) {
    const QString name = settings.Text("site/time_zone").trimmed();
    const QTimeZone computers = QTimeZone::systemTimeZone();
    if (name.isEmpty()) return computers;
    const QTimeZone named(name.toUtf8());
    if (named.isValid()) return named;
    settings.AddProblem(settings.Named("site/time_zone") + ": \"" + name.toStdString() +
                        "\" is no time zone known here; the computer's (" +
                        computers.id().toStdString() + ") applies.");
    return computers;
}

}  // namespace

const std::vector<SettingSpec>& AllSettingSpecs() {
    static const std::vector<SettingSpec> specs = [] {
        std::vector<SettingSpec> all = kStationSpecs;
        const std::vector<SettingSpec>& safety = SafetySettingSpecs();
        all.insert(all.end(), safety.begin(), safety.end());
        for (const OutputKind& kind : OutputKinds()) {
            all.insert(all.end(), kind.settings.begin(), kind.settings.end());
        }
        return all;
    }();
    return specs;
}

Settings ReadSettings(const WorkDir& dir, const QCommandLineParser& parser) {
    return Settings(dir.File(kStationSettingsFile), parser, AllSettingSpecs());
}

StationSettings ReadStationSettings(const Settings& settings) {
    StationSettings station;
    station.latitude = settings.Number("site/latitude", -90, 90);
    station.longitude = settings.Number("site/longitude", -180, 180);
    station.siteZone = ReadSiteZone(settings);
    const QString level = settings.Text("log/level");
    if (!ParseLevel(level.toStdString(), station.logLevel)) {
        settings.AddProblem(settings.Named("log/level") + ": \"" + level.toStdString() +
                            "\" is not error, warning, info or debug; info applies.");
    }
    return station;
}

}  // namespace noxa
