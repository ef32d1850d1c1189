#include "outputs/mqtt/mqtt_output.h"

#include "core/observation_feed.h"
#include "outputs/common/safety_rule.h"
#include "outputs/common/station_status.h"
#include "outputs/mqtt/mqtt_publisher.h"
#include "time/sun_moon.h"

#include <QFile>

namespace noxa {
namespace {

constexpr char kRecordJournal[] = "noxa-records.journal";

class RunningPublisher : public Output {
public:
    RunningPublisher(OutputContext& context, MqttPublisherConfig config)
        : publisher_({context.latest, context.safety, context.status}, std::move(config),
                     context.log, &context.clock),
          status_(context.status) {
        // The metrics say whether the broker is connected.
        status_.SetMqttConnected(false);
        QObject::connect(&publisher_, &MqttPublisher::connectionChanged, &publisher_,
                         [this](bool connected) { status_.SetMqttConnected(connected); });
        publisher_.Start();
        const ObserverPlace& place = context.place;
        QObject::connect(&context.feed, &ObservationFeed::recorded, &publisher_,
                         [this, &place](const IntervalRecord& record) {
                             publisher_.Record(record, ComputeSunMoon(record.end, place.latitude,
                                                                      place.longitude));
                         });
    }

private:
    MqttPublisher publisher_;
    StationStatus& status_;
};

std::unique_ptr<Output> Start(const Settings& settings, OutputContext& context) {
    const auto broker = settings.HostAndPort("mqtt/host", 1883);
    if (!broker) {
        settings.AddProblem(settings.Named("mqtt/host") + ": \"" +
                            settings.Text("mqtt/host").toStdString() +
                            "\" has no valid port; MQTT left off.");
    }
    MqttPublisherConfig config;
    config.password = settings.Text("mqtt/password").toStdString();
    // A password that others can read is no secret.
    if (!config.password.empty() && settings.ReadableByOthers()) {
        settings.AddProblem(settings.FileName() +
                            " holds a password and can be read by other users; make it private "
                            "with: chmod 600 " +
                            settings.FileName());
    }
    if (!broker || broker->first.isEmpty()) return nullptr;
    config.host = broker->first.toStdString();
    config.port = broker->second;
    config.user = settings.Text("mqtt/user").toStdString();
    config.caFile = QFile::encodeName(settings.Text("mqtt/ca_file")).toStdString();
    config.topicPrefix = settings.Text("mqtt/topic_prefix").toStdString();
    config.discoveryPrefix = settings.Text("mqtt/discovery_prefix").toStdString();
    config.stationName = context.stationName;
    config.configurationUrl = context.services.webUrl.toStdString();
    config.staleSeconds = context.safety.Limits().staleSeconds;
    config.topicsFile = context.dir.Path("noxa-mqtt-topics.txt");
    if (settings.OnOff("mqtt/records")) config.recordJournal = context.dir.Path(kRecordJournal);
    config.backlogDays = static_cast<int>(settings.Number("mqtt/backlog_days", 1, 365).value_or(7));
    for (const QString& name : settings.Text("mqtt/archives").split(',', Qt::SkipEmptyParts)) {
        if (!name.trimmed().isEmpty()) config.archives.insert(name.trimmed().toStdString());
    }
    return std::make_unique<RunningPublisher>(context, std::move(config));
}

}  // namespace

OutputKind MqttOutput() {
    return {{
                {"mqtt/host", "mqtt", "host[:port]", "",
                 "Publish to this MQTT broker (port 1883 unless given). Off when empty."},
                {"mqtt/user", "mqtt-user", "name", "", "The user name for the broker."},
                {"mqtt/password", nullptr, nullptr, "",
                 "The password for the broker: in the settings file only, never on the command "
                 "line."},
                {"mqtt/ca_file", "mqtt-ca-file", "path", "",
                 "A CA certificate file (PEM): the connection to the broker then uses TLS."},
                {"mqtt/topic_prefix", "mqtt-topic-prefix", "prefix", "",
                 "The topics' prefix; empty means noxa/<station name>."},
                {"mqtt/discovery_prefix", "mqtt-discovery-prefix", "prefix", "homeassistant",
                 "Where Home Assistant looks for discovery messages."},
                {"mqtt/records", "mqtt-records", "on|off", "on",
                 "Send every data-file record to the archives on <prefix>/record, kept in "
                 "noxa-records.journal until they confirm it."},
                {"mqtt/backlog_days", "mqtt-backlog-days", "days", "7",
                 "Give up records that did not reach every archive in this many days (1 to "
                 "365)."},
                {"mqtt/archives", "mqtt-archives", "name,...", "",
                 "Only these archives' confirmations count; empty: every archive's."},
            },
            Start};
}

}  // namespace noxa
