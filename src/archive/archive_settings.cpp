#include "archive/archive_settings.h"

#include "archive/record_plausibility.h"

#include <QFile>
#include <QHostAddress>

namespace noxa {
namespace {

const std::vector<SettingSpec> kArchiveSpecs{
    {"mqtt/host", "mqtt", "host[:port]", "",
     "Subscribe to the stations' records on this MQTT broker (port 1883 unless given)."},
    {"mqtt/user", "mqtt-user", "name", "", "The user name for the broker."},
    {"mqtt/password", nullptr, nullptr, "",
     "The password for the broker: in the settings file only, never on the command line."},
    {"mqtt/ca_file", "mqtt-ca-file", "path", "",
     "A CA certificate file (PEM): the connection to the broker then uses TLS."},
    {"mqtt/topic_prefix", "topic-prefix", "prefix", "noxa",
     "The stations' topics are <prefix>/<station id>/record, state and availability."},
    {"archive/name", "name", "name", "archive",
     "The archive's name: its confirmations' topic and its client id noxa-archive-<name>."},
    {"archive/db", "db", "url", "sqlite:noxa-archive.db",
     "The database: sqlite:PATH or postgresql://USER@HOST:PORT/DB."},
    {"archive/db_password", nullptr, nullptr, "",
     "The database's password: in the settings file only (or libpq's ~/.pgpass, PGPASSWORD)."},
    {"http/port", "http", "port", "", "Serve the fleet page, its API and metrics on this port."},
    {"http/address", "http-address", "address", "127.0.0.1",
     "The address the web side listens on."},
    {"fleet/stale_seconds", "stale-seconds", "seconds", "120",
     "A station whose newest record is older than this is shown as stale."},
};

bool HasWildcard(const std::string& text) {
    return text.find_first_of("+#") != std::string::npos;
}

void WarnOfReadablePassword(const Settings& settings, const QString& password) {
    if (password.isEmpty() || !settings.ReadableByOthers()) return;
    settings.AddProblem(settings.FileName() +
                        " holds a password and can be read by other users; make it private "
                        "with: chmod 600 " +
                        settings.FileName());
}

bool ReadBroker(const Settings& settings, ArchiveConfig& config) {
    const auto broker = settings.HostAndPort("mqtt/host", 1883);
    if (!broker || broker->first.isEmpty()) {
        settings.AddProblem(settings.Named("mqtt/host") + ": \"" +
                            settings.Text("mqtt/host").toStdString() +
                            "\" is no broker; the archive needs one.");
        return false;
    }
    ArchiveBrokerConfig& mqtt = config.broker;
    mqtt.host = broker->first.toStdString();
    mqtt.port = broker->second;
    mqtt.user = settings.Text("mqtt/user").toStdString();
    mqtt.password = settings.Text("mqtt/password").toStdString();
    mqtt.caFile = QFile::encodeName(settings.Text("mqtt/ca_file")).toStdString();
    mqtt.topicPrefix = settings.Text("mqtt/topic_prefix").toStdString();
    if (mqtt.topicPrefix.empty() || HasWildcard(mqtt.topicPrefix)) {
        settings.AddProblem(settings.Named("mqtt/topic_prefix") + ": \"" + mqtt.topicPrefix +
                            "\" cannot be a topic prefix; noxa applies.");
        mqtt.topicPrefix = "noxa";
    }
    return true;
}

bool ReadName(const Settings& settings, ArchiveConfig& config) {
    config.name = settings.Text("archive/name").toStdString();
    if (IsUsableLevel(settings.Text("archive/name"))) {
        config.broker.clientId = "noxa-archive-" + config.name;
        return true;
    }
    settings.AddProblem(settings.Named("archive/name") + ": \"" +
                        Shown(settings.Text("archive/name")) +
                        "\" cannot be a topic level (1 to 64 characters, none of them / + # or a "
                        "control character).");
    return false;
}

bool ReadDatabase(const Settings& settings, const QString& folder, ArchiveConfig& config) {
    QString problem;
    const auto target = ParseDatabaseUrl(settings.Text("archive/db"), folder, problem);
    if (!target) {
        settings.AddProblem(settings.Named("archive/db") + ": " + problem.toStdString() + ".");
        return false;
    }
    config.database = *target;
    config.databasePassword = settings.Text("archive/db_password");
    return true;
}

}  // namespace

const std::vector<SettingSpec>& ArchiveSettingSpecs() {
    return kArchiveSpecs;
}

std::optional<ArchiveConfig> ReadArchiveConfig(const Settings& settings, const QString& folder,
                                               bool brokerNeeded) {
    ArchiveConfig config;
    WarnOfReadablePassword(settings, settings.Text("mqtt/password"));
    WarnOfReadablePassword(settings, settings.Text("archive/db_password"));
    const bool brokerGiven = !brokerNeeded || ReadBroker(settings, config);
    const bool nameGiven = ReadName(settings, config);
    const bool databaseGiven = ReadDatabase(settings, folder, config);
    config.http.port = settings.Port("http/port");
    config.http.address = settings.Text("http/address");
    if (QHostAddress(config.http.address).isNull()) {
        settings.AddProblem(settings.Named("http/address") + ": \"" +
                            config.http.address.toStdString() +
                            "\" is no IP address; the web side listens on 127.0.0.1.");
        config.http.address = QStringLiteral("127.0.0.1");
    }
    config.http.staleSeconds = settings.Number("fleet/stale_seconds", 1, 1e7).value_or(120);
    if (!brokerGiven || !nameGiven || !databaseGiven) return std::nullopt;
    return config;
}

}  // namespace noxa
