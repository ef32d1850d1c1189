#include "outputs/mqtt/mqtt_discovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <cstdio>

namespace noxa {
namespace {

bool SafeByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

// FNV-1a, 32 bits: stable across runs and builds.
std::uint32_t NameHash(const std::string& name) {
    std::uint32_t hash = 2166136261u;
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

bool UsablePrefix(const std::string& prefix) {
    return !prefix.empty() && prefix.find_first_of("+#") == std::string::npos;
}

std::string WithoutTrailingSlashes(std::string prefix) {
    while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
    return prefix;
}

struct SensorSpec {
    const char* key;  // in the state JSON, and the end of the unique id
    const char* name;
    const char* unit;         // nullptr: a plain number
    const char* deviceClass;  // nullptr: Home Assistant has none for it
    bool diagnostic;
};

constexpr char kSkyUnit[] = "mag/arcsec²";

const SensorSpec kSensors[] = {
    {"mag_v", "Sky brightness 740 nm", kSkyUnit, nullptr, false},
    {"mag_v2", "Sky brightness 640 nm", kSkyUnit, nullptr, false},
    {"mag_r", "Sky brightness red", kSkyUnit, nullptr, false},
    {"mag_g", "Sky brightness green", kSkyUnit, nullptr, false},
    {"mag_b", "Sky brightness blue", kSkyUnit, nullptr, false},
    {"temperature", "Sensor temperature", "°C", "temperature", false},
    {"sky_temperature", "Sky temperature", "°C", "temperature", false},
    {"nelm", "Naked-eye limiting magnitude", "mag", nullptr, false},
    {"cloud_cover", "Cloud cover", "%", nullptr, false},
    {"sun_altitude", "Sun altitude", "°", nullptr, false},
    {"moon_altitude", "Moon altitude", "°", nullptr, false},
    {"moon_illumination", "Moon illuminated fraction", nullptr, nullptr, false},
    {"freq_1", "Channel 1 frequency", "Hz", "frequency", true},
    {"freq_2", "Channel 2 frequency", "Hz", "frequency", true},
    {"freq_3", "Channel 3 frequency", "Hz", "frequency", true},
    {"freq_4", "Channel 4 frequency", "Hz", "frequency", true},
};

}  // namespace

std::string SafeTopicLevel(const std::string& name) {
    if (name.empty()) return "unnamed";
    std::string level;
    bool replaced = false;
    bool inRun = false;
    for (const char c : name) {
        if (SafeByte(static_cast<unsigned char>(c))) {
            level += c;
            inRun = false;
        } else {
            if (!inRun) level += '_';
            inRun = replaced = true;
        }
    }
    if (!replaced) return level;
    char hash[10];
    std::snprintf(hash, sizeof hash, "%08x", static_cast<unsigned>(NameHash(name)));
    if (level.back() != '_') level += '_';
    return level + hash;
}

MqttTopics MakeMqttTopics(const std::string& stationName, const std::string& topicPrefix,
                          const std::string& discoveryPrefix, std::string& problem) {
    MqttTopics topics;
    const std::string station = SafeTopicLevel(stationName);
    topics.nodeId = "noxa_" + station;
    std::string prefix = "noxa/" + station;
    if (!topicPrefix.empty()) {
        if (UsablePrefix(topicPrefix)) {
            prefix = WithoutTrailingSlashes(topicPrefix);
        } else {
            problem = "MQTT topic prefix \"" + topicPrefix + "\" holds a wildcard; using " + prefix;
        }
    }
    topics.state = prefix + "/state";
    topics.availability = prefix + "/availability";
    topics.discoveryPrefix = "homeassistant";
    if (UsablePrefix(discoveryPrefix)) {
        topics.discoveryPrefix = WithoutTrailingSlashes(discoveryPrefix);
    } else {
        if (!problem.empty()) problem += "; ";
        problem += "MQTT discovery prefix \"" + discoveryPrefix +
                   "\" is empty or holds a wildcard; using homeassistant";
    }
    return topics;
}

std::vector<MqttMessage> DiscoveryMessages(const MqttTopics& topics,
                                           const std::string& stationName) {
    const QString station =
        QString::fromLatin1(stationName.data(), static_cast<qsizetype>(stationName.size()));
    const QJsonObject device{
        {"identifiers", QJsonArray{QString::fromStdString(topics.nodeId)}},
        {"name", "NOXA-V4I " + station},
        {"manufacturer", "NOXA"},
        {"model", "NOXA-V4I"},
        {"sw_version", NOXA_VERSION},
    };
    std::vector<MqttMessage> messages;
    for (const SensorSpec& sensor : kSensors) {
        const std::string uniqueId = topics.nodeId + "_" + sensor.key;
        QJsonObject config{
            {"name", sensor.name},
            {"unique_id", QString::fromStdString(uniqueId)},
            {"state_topic", QString::fromStdString(topics.state)},
            {"value_template", QStringLiteral("{{ value_json.%1 }}").arg(sensor.key)},
            {"state_class", "measurement"},
            {"availability_topic", QString::fromStdString(topics.availability)},
            {"payload_available", kMqttOnline},
            {"payload_not_available", kMqttOffline},
            {"device", device},
        };
        if (sensor.unit) config["unit_of_measurement"] = QString::fromUtf8(sensor.unit);
        if (sensor.deviceClass) config["device_class"] = sensor.deviceClass;
        if (sensor.diagnostic) config["entity_category"] = "diagnostic";
        messages.push_back({topics.discoveryPrefix + "/sensor/" + uniqueId + "/config",
                            QJsonDocument(config).toJson(QJsonDocument::Compact)});
    }
    // The safety rule's verdict. Home Assistant's "safety" class reads "on" as unsafe.
    const std::string safeId = topics.nodeId + "_safe";
    const QJsonObject safe{
        {"name", "Sky safe for observing"},
        {"unique_id", QString::fromStdString(safeId)},
        {"state_topic", QString::fromStdString(topics.state)},
        {"value_template", "{{ 'OFF' if value_json.safe else 'ON' }}"},
        {"device_class", "safety"},
        {"availability_topic", QString::fromStdString(topics.availability)},
        {"payload_available", kMqttOnline},
        {"payload_not_available", kMqttOffline},
        {"device", device},
    };
    messages.push_back({topics.discoveryPrefix + "/binary_sensor/" + safeId + "/config",
                        QJsonDocument(safe).toJson(QJsonDocument::Compact)});
    return messages;
}

}  // namespace noxa
