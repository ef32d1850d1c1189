#pragma once

#include "outputs/common/safety_rule.h"

#include <QCommandLineParser>
#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace noxa {

class WorkDir;

// The web server: off unless a port is given.
struct HttpSettings {
    quint16 port = 0;
    QString address = QStringLiteral("127.0.0.1");
    // Clients connected at once; more are turned away until one leaves.
    int maxConnections = 64;
    // Of those, from one client address.
    int maxConnectionsPerClient = 16;
};

// The Alpaca devices on the web server: where clients search for them, and the station's own
// id their unique ids derive from.
struct AlpacaSettings {
    quint16 discoveryPort = 32227;  // 0: no discovery
    QString deviceId;               // empty until the first start made one
};

// Publishing to an MQTT broker: off unless a host is given.
struct MqttSettings {
    QString host;
    quint16 port = 1883;
    QString user;
    QString password;  // only ever from the settings file
    QString caFile;    // a CA certificate file turns TLS on
    // Empty: "noxa/<station name>".
    QString topicPrefix;
    QString discoveryPrefix = QStringLiteral("homeassistant");
};

// The night files in the skyglow community's format, and who observes where for their header.
// Position defaults to the configuration's; numbers that are unknown stay empty.
struct IdaSettings {
    bool enabled = false;
    QString instrumentId;  // empty: the station name
    QString location;
    std::optional<double> latitude, longitude, height, fieldOfView;
    QString contact;
    QString licence;
};

// Every setting beyond the instrument record: "noxa-station.ini" (INI format) in the working
// directory, and a command-line option for each key, which wins over the file.
struct StationSettings {
    static constexpr const char* kFileName = "noxa-station.ini";

    HttpSettings http;
    AlpacaSettings alpaca;
    MqttSettings mqtt;
    SafetyLimits safety;
    IdaSettings ida;
    // The chart and summary line of every night, in night/.
    bool nightCharts = true;
};

// One setting: its key in the file, its command-line option (none for secrets), its default
// and what it does. The README lists the same table.
struct SettingSpec {
    const char* key;
    const char* option;  // nullptr: the settings file only
    const char* valueName;
    const char* defaultValue;
    const char* description;
};
const std::vector<SettingSpec>& SettingSpecs();

// Adds an option for every setting that has one.
void AddSettingOptions(QCommandLineParser& parser);

// Reads the settings file of `dir` and the options given. What is wrong (a value that is not
// a port, a password in a file that others can read) is added to `problems` as log lines; the
// setting concerned then keeps its default.
StationSettings LoadStationSettings(const WorkDir& dir, const QCommandLineParser& parser,
                                    std::vector<std::string>& problems);

// The station's Alpaca id: `current` when set, else a new one, kept in the settings file of
// `dir` so that it never changes. When it cannot be kept, says so in `problems`.
QString KeepAlpacaDeviceId(const WorkDir& dir, const QString& current,
                           std::vector<std::string>& problems);

}  // namespace noxa
