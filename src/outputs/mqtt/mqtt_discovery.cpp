#include "outputs/mqtt/mqtt_discovery.h"

#include "core/station_name_text.h"
#include "outputs/common/reading_description.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace noxa {
namespace {

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
    const QString station = StationNameText(device.stationName);
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

MqttMessage Sensor(const MqttTopics& topics, const MqttDevice& device,
                   const ReadingDescription& reading, int expireAfterSeconds) {
    QJsonObject config = Entity(topics, device, reading.key, reading.haName);
    config["value_template"] = reading.haValueTemplate
                                   ? QString::fromUtf8(reading.haValueTemplate)
                                   : QStringLiteral("{{ value_json.%1 }}").arg(reading.key);
    config["state_class"] = "measurement";
    config["suggested_display_precision"] = reading.precision;
    config["availability"] = QJsonArray{StationAvailability(topics), LinkAvailability(topics)};
    config["availability_mode"] = "all";
    if (expireAfterSeconds > 0) config["expire_after"] = expireAfterSeconds;
    if (reading.unit) config["unit_of_measurement"] = QString::fromUtf8(reading.unit);
    if (reading.haDeviceClass) config["device_class"] = reading.haDeviceClass;
    if (reading.diagnostic) config["entity_category"] = "diagnostic";
    return Message(topics, "sensor", config);
}

}  // namespace

std::vector<MqttMessage> DiscoveryMessages(const MqttTopics& topics, const MqttDevice& device,
                                           DiscoveryExpiry expiry) {
    std::vector<MqttMessage> messages;
    for (const ReadingDescription& reading : ReadingDescriptions()) {
        if (reading.haName) messages.push_back(Sensor(topics, device, reading, expiry.readings));
    }

    QJsonObject link = Entity(topics, device, "link", "Instrument link");
    link["device_class"] = "connectivity";
    link["value_template"] = "{{ 'ON' if value_json.link_ok else 'OFF' }}";
    if (expiry.verdict > 0) link["expire_after"] = expiry.verdict;
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
    if (expiry.verdict > 0) unsafe["expire_after"] = expiry.verdict;
    messages.push_back(Message(topics, "binary_sensor", unsafe));
    return messages;
}

}  // namespace noxa
