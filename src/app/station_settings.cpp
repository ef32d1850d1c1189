#include "app/station_settings.h"

#include "core/work_dir.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QUuid>

#include <algorithm>
#include <optional>

namespace noxa {
namespace {

// The value of a setting: the option when given, else the file's, else the default.
class SettingSource {
public:
    SettingSource(const QString& file, const QCommandLineParser& parser)
        : file_(file, QSettings::IniFormat), parser_(parser) {}

    QString Value(const SettingSpec& spec) const {
        if (spec.option != nullptr && parser_.isSet(spec.option)) return parser_.value(spec.option);
        const QVariant value = file_.value(spec.key, QString::fromUtf8(spec.defaultValue));
        // An unquoted value with commas reads as a list.
        if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(',');
        return value.toString();
    }
    QSettings::Status Status() const { return file_.status(); }
    QStringList FileKeys() const { return file_.allKeys(); }

private:
    QSettings file_;
    const QCommandLineParser& parser_;
};

const SettingSpec& Spec(const char* key) {
    for (const SettingSpec& spec : SettingSpecs()) {
        if (qstrcmp(spec.key, key) == 0) return spec;
    }
    Q_UNREACHABLE();
}

// A TCP port of 1 to 65535; 0 when the text is empty.
bool ParsePort(const QString& text, quint16& port) {
    if (text.isEmpty()) {
        port = 0;
        return true;
    }
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value == 0 || value > 65535) return false;
    port = static_cast<quint16>(value);
    return true;
}

// Keys of the file that no setting has ("[htpp] port"), each a problem of its own.
void ReportUnknownKeys(const QStringList& keys, std::vector<std::string>& problems) {
    for (const QString& key : keys) {
        const QByteArray name = key.toUtf8();
        const bool known = std::any_of(SettingSpecs().begin(), SettingSpecs().end(),
                                       [&](const SettingSpec& spec) { return name == spec.key; });
        if (known) continue;
        const qsizetype slash = key.indexOf('/');
        const QString shown = slash < 0 ? key : "[" + key.left(slash) + "] " + key.mid(slash + 1);
        problems.push_back(std::string(StationSettings::kFileName) + ": unknown key " +
                           shown.toStdString() + " ignored.");
    }
}

std::string Named(const SettingSpec& spec) {
    return spec.option ? std::string("--") + spec.option + " (" + spec.key + ")" : spec.key;
}

}  // namespace

const std::vector<SettingSpec>& SettingSpecs() {
    static const std::vector<SettingSpec> specs{
        {"http/port", "http", "port", "",
         "Serve the dashboard, the JSON API and the metrics on this TCP port. Off when empty."},
        {"http/address", "http-address", "address", "127.0.0.1",
         "The address the web server listens on; 0.0.0.0 opens it to the local network."},
        {"http/max_connections", "http-max-connections", "count", "64",
         "The most web clients connected at once (1 to 1000)."},
        {"http/max_connections_per_client", "http-max-connections-per-client", "count", "16",
         "The most web connections at once from one address (1 to 1000)."},
        {"alpaca/discovery_port", "alpaca-discovery-port", "port", "32227",
         "The UDP port on which Alpaca clients' discovery searches are answered. Off when empty."},
        {"alpaca/device_id", nullptr, nullptr, "",
         "The station's own id; the Alpaca devices' unique ids derive from it. Made at the first "
         "start with the web server and kept here: copy it only when the station moves to "
         "another computer."},
        {"safety/max_cloud_cover", "safe-max-cloud-cover", "percent", "30",
         "The largest cloud cover (0 to 100) that is still safe."},
        {"safety/brightest_sky", "safe-brightest-sky", "mag", "",
         "Channel 1's sky brightness in mag/arcsec^2 below which (a brighter sky) it is unsafe. "
         "Off when empty."},
        {"safety/stale_seconds", "stale-seconds", "seconds", "120",
         "The longest silence before the readings count as stale (and unsafe)."},
        {"ida/enabled", "ida", "on|off", "off",
         "Write a night file in the skyglow community's format for every night, in ida/."},
        {"night/charts", "night-charts", "on|off", "on",
         "At nautical dawn, draw the night's chart and add its line to the summary, in night/."},
        {"site/instrument_id", "site-instrument-id", "id", "",
         "The instrument's id in the night files; empty means the station name."},
        {"site/location", "site-location", "name", "", "The site's name in the night files."},
        {"site/latitude", "site-latitude", "degrees", "",
         "The site's latitude, north positive; empty means the configuration's."},
        {"site/longitude", "site-longitude", "degrees", "",
         "The site's longitude, east positive; empty means the configuration's."},
        {"site/height", "site-height", "metres", "", "The site's height above sea level."},
        {"site/field_of_view", "site-field-of-view", "degrees", "",
         "The instrument's field of view."},
        {"site/contact", "site-contact", "text", "",
         "Who supplies the data: name, affiliation, mail address."},
        {"site/licence", "site-licence", "text", "", "The licence the data are released under."},
        {"mqtt/host", "mqtt", "host[:port]", "",
         "Publish to this MQTT broker (port 1883 unless given). Off when empty."},
        {"mqtt/user", "mqtt-user", "name", "", "The user name for the broker."},
        {"mqtt/password", nullptr, nullptr, "",
         "The password for the broker: in the settings file only, never on the command line."},
        {"mqtt/ca_file", "mqtt-ca-file", "path", "",
         "A CA certificate file (PEM): the connection to the broker then uses TLS."},
        {"mqtt/topic_prefix", "mqtt-topic-prefix", "prefix", "",
         "The topics' prefix; empty means noxa/<station name>."},
        {"mqtt/discovery_prefix", "mqtt-discovery-prefix", "prefix", "homeassistant",
         "Where Home Assistant looks for discovery messages."},
    };
    return specs;
}

void AddSettingOptions(QCommandLineParser& parser) {
    for (const SettingSpec& spec : SettingSpecs()) {
        if (spec.option == nullptr) continue;
        QString description = QString::fromUtf8(spec.description);
        description += QStringLiteral(" Settings file: %1").arg(spec.key);
        if (*spec.defaultValue)
            description += QStringLiteral(", default %1").arg(spec.defaultValue);
        description += '.';
        parser.addOption(QCommandLineOption(spec.option, description, spec.valueName));
    }
}

StationSettings LoadStationSettings(const WorkDir& dir, const QCommandLineParser& parser,
                                    std::vector<std::string>& problems) {
    const QString path = dir.File(StationSettings::kFileName);
    const SettingSource source(path, parser);
    StationSettings settings;
    if (source.Status() != QSettings::NoError) {
        problems.push_back(std::string(StationSettings::kFileName) +
                           " could not be read; the defaults and options apply.");
    }
    ReportUnknownKeys(source.FileKeys(), problems);

    const auto port = [&](const char* key, quint16& value) {
        const SettingSpec& spec = Spec(key);
        const QString text = source.Value(spec);
        if (!ParsePort(text, value)) {
            problems.push_back(Named(spec) + ": \"" + text.toStdString() +
                               "\" is not a port number from 1 to 65535; left off.");
            value = 0;
        }
    };
    // A number from `low` to `high`; the default applies to anything else. Empty when the
    // setting is off.
    const auto number = [&](const char* key, double low, double high) -> std::optional<double> {
        const SettingSpec& spec = Spec(key);
        const QString text = source.Value(spec);
        if (text.isEmpty()) return std::nullopt;
        bool ok = false;
        const double value = text.toDouble(&ok);
        if (ok && value >= low && value <= high) return value;
        problems.push_back(Named(spec) + ": \"" + text.toStdString() + "\" is not a number from " +
                           QString::number(low).toStdString() + " to " +
                           QString::number(high).toStdString() + "; " +
                           (*spec.defaultValue ? spec.defaultValue : "off") + " applies.");
        const QString fallback = QString::fromUtf8(spec.defaultValue);
        return fallback.isEmpty() ? std::nullopt : std::optional(fallback.toDouble());
    };

    port("http/port", settings.http.port);
    settings.http.address = source.Value(Spec("http/address"));
    settings.http.maxConnections = static_cast<int>(*number("http/max_connections", 1, 1000));
    settings.http.maxConnectionsPerClient =
        static_cast<int>(*number("http/max_connections_per_client", 1, 1000));
    port("alpaca/discovery_port", settings.alpaca.discoveryPort);
    settings.alpaca.deviceId = source.Value(Spec("alpaca/device_id")).trimmed();

    SafetyLimits& safety = settings.safety;
    safety.maxCloudCover = static_cast<float>(*number("safety/max_cloud_cover", 0, 100));
    if (const auto sky = number("safety/brightest_sky", 0, 30)) {
        safety.brightestSky = static_cast<float>(*sky);
    }
    safety.staleSeconds = *number("safety/stale_seconds", 1, 86400);

    const auto onOff = [&](const char* key) {
        const SettingSpec& spec = Spec(key);
        const QString text = source.Value(spec);
        if (text == "on") return true;
        if (text == "off") return false;
        const bool fallback = std::string_view(spec.defaultValue) == "on";
        problems.push_back(Named(spec) + ": \"" + text.toStdString() +
                           "\" is neither on nor off; " + spec.defaultValue + " applies.");
        return fallback;
    };
    IdaSettings& ida = settings.ida;
    ida.enabled = onOff("ida/enabled");
    settings.nightCharts = onOff("night/charts");
    ida.instrumentId = source.Value(Spec("site/instrument_id"));
    ida.location = source.Value(Spec("site/location"));
    ida.latitude = number("site/latitude", -90, 90);
    ida.longitude = number("site/longitude", -180, 180);
    ida.height = number("site/height", -500, 9000);
    ida.fieldOfView = number("site/field_of_view", 0, 180);
    ida.contact = source.Value(Spec("site/contact"));
    ida.licence = source.Value(Spec("site/licence"));

    MqttSettings& mqtt = settings.mqtt;
    const QString broker = source.Value(Spec("mqtt/host"));
    const qsizetype colon = broker.lastIndexOf(':');
    // "host:port", but not an IPv6 address without a port.
    if (colon > 0 && broker.indexOf(':') == colon) {
        quint16 brokerPort = 0;
        if (ParsePort(broker.mid(colon + 1), brokerPort) && brokerPort != 0) {
            mqtt.host = broker.left(colon);
            mqtt.port = brokerPort;
        } else {
            problems.push_back(Named(Spec("mqtt/host")) + ": \"" + broker.toStdString() +
                               "\" has no valid port; MQTT left off.");
        }
    } else {
        mqtt.host = broker;
    }
    mqtt.user = source.Value(Spec("mqtt/user"));
    mqtt.password = source.Value(Spec("mqtt/password"));
    mqtt.caFile = source.Value(Spec("mqtt/ca_file"));
    mqtt.topicPrefix = source.Value(Spec("mqtt/topic_prefix"));
    mqtt.discoveryPrefix = source.Value(Spec("mqtt/discovery_prefix"));

    // A password that others can read is no secret.
    if (!mqtt.password.isEmpty()) {
        const QFile::Permissions permissions = QFileInfo(path).permissions();
        if (permissions & (QFile::ReadGroup | QFile::ReadOther)) {
            problems.push_back(std::string(StationSettings::kFileName) +
                               " holds a password and can be read by other users; "
                               "make it private with: chmod 600 " +
                               StationSettings::kFileName);
        }
    }
    return settings;
}

QString KeepAlpacaDeviceId(const WorkDir& dir, const QString& current,
                           std::vector<std::string>& problems) {
    if (!current.isEmpty()) return current;
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSettings file(dir.File(StationSettings::kFileName), QSettings::IniFormat);
    file.setValue(Spec("alpaca/device_id").key, id);
    file.sync();
    if (file.status() != QSettings::NoError || !file.isWritable()) {
        problems.push_back(std::string("The Alpaca device id could not be kept in ") +
                           StationSettings::kFileName +
                           "; the devices' unique ids change at the next start.");
    }
    return id;
}

}  // namespace noxa
