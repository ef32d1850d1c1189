#pragma once

#include "core/settings.h"
#include "core/station_log.h"
#include "core/work_dir.h"

#include <QString>
#include <QTimeZone>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace noxa {

class LatestReadings;
class ObservationFeed;
class SafetyRule;
class StationClock;
class StationLocale;
class StationStatus;
class WebServer;
struct DayTables;
struct ObserverPlace;

// What outputs offer each other, filled in as they start.
struct OutputServices {
    // The web server, while one is on: other outputs mount their routes on it.
    WebServer* web = nullptr;
    // The dashboard's address for people; empty until the web server listens.
    QString webUrl;
    // Tonight's night file, while night files are written.
    std::function<QString()> tonightsNightFile;
};

// Everything an output starts from.
struct OutputContext {
    ObservationFeed& feed;  // every report and record, as numbers
    const LatestReadings& latest;
    const SafetyRule& safety;
    // The state of the station's connections: the MQTT output tells it of its broker.
    StationStatus& status;
    const StationClock& clock;
    const WorkDir& dir;  // the station's working folder
    const DayTables& days;
    const StationLocale& locale;
    const ObserverPlace& place;
    // The site's own zone: its nights run from its noon to its noon, and night files and
    // charts give its local times. The station's other files keep the computer's time.
    const QTimeZone& siteZone;
    std::string stationName;
    Log log;
    OutputServices& services;
};

// A running output; it stops when destroyed.
class Output {
public:
    virtual ~Output() = default;
};

// An output as the station knows it: its settings, and how it starts from them and the context.
struct OutputKind {
    std::vector<SettingSpec> settings;
    // Reads the output's settings (what is wrong goes to the settings' problems) and starts it;
    // nothing while the user has it turned off.
    std::function<std::unique_ptr<Output>(const Settings& settings, OutputContext& context)> start;
};

}  // namespace noxa
