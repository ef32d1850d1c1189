#include "outputs/mqtt/mqtt_discovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace noxa {
namespace {

struct SensorSpec {
    const char* key;  // in the state JSON, and the end of the unique id
    const char* name;
    const char* unit;         // nullptr: a plain number
    const char* deviceClass;  // nullptr: Home Assistant has none for it
    int precision;            // decimals shown
    bool diagnostic;
    const char* valueTemplate = nullptr;  // nullptr: the key's value as it is
};

constexpr char kSkyUnit[] = "mag/arcsec²";

// The state carries the lit fraction 0..1; Home Assistant shows it in %. A null stays null.
constexpr char kMoonPercent[] =
    "{{ value_json.moon_illumination * 100 if value_json.moon_illumination is number else None }}";

const SensorSpec kSensors[] = {
    {"mag_v", "Sky brightness 740 nm", kSkyUnit, nullptr, 2, false},
    {"mag_v2", "Sky brightness 640 nm", kSkyUnit, nullptr, 2, false},
    {"mag_r", "Sky brightness red", kSkyUnit, nullptr, 2, false},
    {"mag_g", "Sky brightness green", kSkyUnit, nullptr, 2, false},
    {"mag_b", "Sky brightness blue", kSkyUnit, nullptr, 2, false},
    {"temperature", "Sensor temperature", "°C", "temperature", 1, false},
    {"sky_temperature", "Sky temperature", "°C", "temperature", 1, false},
    {"nelm", "Naked-eye limiting magnitude", "mag", nullptr, 2, false},
    {"cloud_cover", "Cloud cover", "%", nullptr, 0, false},
    {"sun_altitude", "Sun altitude", "°", nullptr, 1, false},
    {"moon_altitude", "Moon altitude", "°", nullptr, 1, false},
    {"moon_illumination", "Moon illuminated fraction", "%", nullptr, 0, false, kMoonPercent},
    {"freq_1", "Channel 1 frequency", "Hz", "frequency", 3, true},
    {"freq_2", "Channel 2 frequency", "Hz", "frequency", 3, true},
    {"freq_3", "Channel 3 frequency", "Hz", "frequency", 3, true},
    {"freq_4", "Channel 4 frequency", "Hz", "frequency", 3, true},
};

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// Online while the station runs; the broker says "offline" for it when it dies.
QJsonObject StationAvailability(const MqttTopics& topics) {
    return {{"topic", Text(topics.availability)},
            {"payload_available", kMqttOnline},
            {"payload_not_available", kMqttOffline}};
}

// Online while reports arrive: the state's link_ok, which turns false after a short silence.
QJsonObject LinkAvailability(const MqttTopics& topics) {
    return {{"topic", Text(topics.state)},
            {"value_template", "{{ 'online' if value_json.link_ok else 'offline' }}"},
            {"payload_available", kMqttOnline},
            {"payload_not_available", kMqttOffline}};
}

QJsonObject Device(const MqttTopics& topics, const MqttDevice& device) {
    // The station's name is Latin-1 text, as the instrument's configuration holds it.
    const QString station = QString::fromLatin1(device.stationName.data(),
                                                static_cast<qsizetype>(device.stationName.size()));
    QJsonObject json{
        {"identifiers", QJsonArray{Text(topics.nodeId)}},
        {"name", "NOXA-V4I " + station},
        {"manufacturer", "NOXA"},
        {"model", "NOXA-V4I"},
        {"sw_version", NOXA_VERSION},
    };
    if (!device.configurationUrl.empty()) json["configuration_url"] = Text(device.configurationUrl);
    return json;
}

// What every entity of the station shares.
QJsonObject Entity(const MqttTopics& topics, const MqttDevice& device, const std::string& id,
                   const char* name) {
    return {
        {"name", name},
        {"unique_id", Text(topics.nodeId + "_" + id)},
        {"state_topic", Text(topics.state)},
        {"availability", QJsonArray{StationAvailability(topics)}},
        {"device", Device(topics, device)},
        {"origin", QJsonObject{{"name", "noxa-station"}, {"sw_version", NOXA_VERSION}}},
    };
}

MqttMessage Message(const MqttTopics& topics, const char* component, const QJsonObject& config) {
    return {topics.discoveryPrefix + "/" + component + "/" +
                config["unique_id"].toString().toStdString() + "/config",
            QJsonDocument(config).toJson(QJsonDocument::Compact)};
}

MqttMessage Reading(const MqttTopics& topics, const MqttDevice& device, const SensorSpec& sensor,
                    int expireAfterSeconds) {
    QJsonObject config = Entity(topics, device, sensor.key, sensor.name);
    config["value_template"] = sensor.valueTemplate
                                   ? QString::fromUtf8(sensor.valueTemplate)
                                   : QStringLiteral("{{ value_json.%1 }}").arg(sensor.key);
    config["state_class"] = "measurement";
    config["suggested_display_precision"] = sensor.precision;
    config["availability"] = QJsonArray{StationAvailability(topics), LinkAvailability(topics)};
    config["availability_mode"] = "all";
    if (expireAfterSeconds > 0) config["expire_after"] = expireAfterSeconds;
    if (sensor.unit) config["unit_of_measurement"] = QString::fromUtf8(sensor.unit);
    if (sensor.deviceClass) config["device_class"] = sensor.deviceClass;
    if (sensor.diagnostic) config["entity_category"] = "diagnostic";
    return Message(topics, "sensor", config);
}

}  // namespace

std::vector<MqttMessage> DiscoveryMessages(const MqttTopics& topics, const MqttDevice& device,
                                           int expireAfterSeconds) {
    std::vector<MqttMessage> messages;
    for (const SensorSpec& sensor : kSensors)
        messages.push_back(Reading(topics, device, sensor, expireAfterSeconds));

    QJsonObject link = Entity(topics, device, "link", "Instrument link");
    link["device_class"] = "connectivity";
    link["value_template"] = "{{ 'ON' if value_json.link_ok else 'OFF' }}";
    messages.push_back(Message(topics, "binary_sensor", link));

    QJsonObject lastReport = Entity(topics, device, "last_report", "Last report");
    lastReport["device_class"] = "timestamp";
    lastReport["value_template"] = "{{ value_json.time }}";
    messages.push_back(Message(topics, "sensor", lastReport));

    // The safety rule's verdict. Home Assistant's "safety" class reads "on" as unsafe, so the
    // name says what "on" means; the reason comes along as an attribute.
    QJsonObject unsafe = Entity(topics, device, "safe", "Sky unsafe for observing");
    unsafe["device_class"] = "safety";
    unsafe["value_template"] = "{{ 'OFF' if value_json.safe else 'ON' }}";
    unsafe["json_attributes_topic"] = Text(topics.state);
    unsafe["json_attributes_template"] =
        "{{ {'unsafe_reason': value_json.get('unsafe_reason')} | tojson }}";
    messages.push_back(Message(topics, "binary_sensor", unsafe));
    return messages;
}

}  // namespace noxa
