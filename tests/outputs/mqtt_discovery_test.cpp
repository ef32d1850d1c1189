// Home Assistant's discovery messages as built, without a broker.
#include "outputs/mqtt/mqtt_discovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <map>

namespace noxa {
namespace {

struct Discovery {
    explicit Discovery(const std::string& configurationUrl = {}, DiscoveryExpiry expireAfter = {}) {
        std::string problem;
        topics = MakeMqttTopics("qelvoxxx", "", "", problem);
        for (const MqttMessage& message :
             DiscoveryMessages(topics, {"qelvoxxx", configurationUrl}, expireAfter))
            configs[message.topic] = QJsonDocument::fromJson(message.payload).object();
    }
    QJsonObject Config(const std::string& component, const std::string& id) const {
        const auto found =
            configs.find("homeassistant/" + component + "/noxa_qelvoxxx_" + id + "/config");
        return found == configs.end() ? QJsonObject() : found->second;
    }
    MqttTopics topics;
    std::map<std::string, QJsonObject> configs;
};

TEST(MqttDiscovery, EveryEntityNamesItsOriginDeviceAndStationAvailability) {
    const Discovery discovery, linked("http://127.0.0.1:8080/");
    EXPECT_EQ(discovery.configs.size(), 19u);
    for (const auto& [topic, config] : discovery.configs) {
        EXPECT_EQ(config["origin"]["name"].toString(), "noxa-station") << topic;
        EXPECT_EQ(config["origin"]["sw_version"].toString(), NOXA_VERSION) << topic;
        EXPECT_EQ(config["device"]["identifiers"][0].toString(), "noxa_qelvoxxx") << topic;
        EXPECT_FALSE(config["device"].toObject().contains("configuration_url")) << topic;
        EXPECT_EQ(linked.configs.at(topic)["device"]["configuration_url"].toString(),
                  "http://127.0.0.1:8080/")
            << topic;
        EXPECT_FALSE(config.contains("availability_topic")) << topic;
        const QJsonObject station = config["availability"][0].toObject();
        EXPECT_EQ(station["topic"].toString().toStdString(), discovery.topics.availability);
        EXPECT_EQ(station["payload_available"].toString(), "online") << topic;
        EXPECT_EQ(station["payload_not_available"].toString(), "offline") << topic;
    }
}

TEST(MqttDiscovery, ReadingsGoUnavailableWhenTheLinkIsDownAndExpireLikeTheLinkAndVerdict) {
    const Discovery discovery, expiring({}, {120, 60});
    int readings = 0;
    for (const auto& [topic, config] : discovery.configs) {
        const bool reading = config["state_class"].toString() == "measurement";
        const QString id = config["unique_id"].toString();
        const bool verdict = id.endsWith("_link") || id.endsWith("_safe");
        EXPECT_EQ(expiring.configs.at(topic)["expire_after"].toInt(0), reading   ? 120
                                                                       : verdict ? 60
                                                                                 : 0)
            << topic;
        if (!reading) continue;
        ++readings;
        EXPECT_EQ(config["availability_mode"].toString(), "all") << topic;
        const QJsonArray availability = config["availability"].toArray();
        ASSERT_EQ(availability.size(), 2) << topic;
        EXPECT_EQ(availability[1]["topic"].toString().toStdString(), discovery.topics.state);
        EXPECT_EQ(availability[1]["value_template"].toString(),
                  "{{ 'online' if value_json.link_ok else 'offline' }}");
        EXPECT_TRUE(config.contains("suggested_display_precision")) << topic;
        EXPECT_FALSE(config.contains("expire_after")) << topic;
    }
    EXPECT_EQ(readings, 16);
    // What tells of a silent instrument stays available.
    for (const auto& [component, id] :
         {std::pair{"binary_sensor", "link"}, {"sensor", "last_report"}, {"binary_sensor", "safe"}})
        EXPECT_EQ(discovery.Config(component, id)["availability"].toArray().size(), 1) << id;
}

TEST(MqttDiscovery, ReadingsCarryUnitPrecisionAndTemplate) {
    struct Row {
        const char* id;
        const char* unit;
        int precision;
        const char* valueTemplate;
    };
    const Row rows[] = {
        {"mag_v", "mag/arcsec²", 2, "{{ value_json.mag_v }}"},
        {"temperature", "°C", 1, "{{ value_json.temperature }}"},
        {"cloud_cover", "%", 0, "{{ value_json.cloud_cover }}"},
        {"sun_altitude", "°", 1, "{{ value_json.sun_altitude }}"},
        {"moon_illumination", "%", 0,
         "{{ value_json.moon_illumination * 100 if value_json.moon_illumination is number else "
         "None }}"},
        {"freq_1", "Hz", 3, "{{ value_json.freq_1 }}"},
    };
    const Discovery discovery;
    for (const Row& row : rows) {
        const QJsonObject config = discovery.Config("sensor", row.id);
        EXPECT_EQ(config["unit_of_measurement"].toString(), QString::fromUtf8(row.unit)) << row.id;
        EXPECT_EQ(config["suggested_display_precision"].toInt(-1), row.precision) << row.id;
        EXPECT_EQ(config["value_template"].toString(), row.valueTemplate) << row.id;
    }
}

TEST(MqttDiscovery, LinkLastReportAndUnsafeSkySayWhatTheyMean) {
    const Discovery discovery;
    const QJsonObject link = discovery.Config("binary_sensor", "link");
    EXPECT_EQ(link["device_class"].toString(), "connectivity");
    EXPECT_EQ(link["value_template"].toString(), "{{ 'ON' if value_json.link_ok else 'OFF' }}");

    const QJsonObject lastReport = discovery.Config("sensor", "last_report");
    EXPECT_EQ(lastReport["device_class"].toString(), "timestamp");
    EXPECT_EQ(lastReport["value_template"].toString(), "{{ value_json.time }}");
    EXPECT_FALSE(lastReport.contains("state_class"));

    // Home Assistant's safety class is on when unsafe: the name says so.
    const QJsonObject unsafe = discovery.Config("binary_sensor", "safe");
    EXPECT_EQ(unsafe["name"].toString(), "Sky unsafe for observing");
    EXPECT_EQ(unsafe["device_class"].toString(), "safety");
    EXPECT_EQ(unsafe["value_template"].toString(), "{{ 'OFF' if value_json.safe else 'ON' }}");
    EXPECT_EQ(unsafe["json_attributes_topic"].toString().toStdString(), discovery.topics.state);
    EXPECT_TRUE(unsafe["json_attributes_template"].toString().contains("unsafe_reason"));
}

}  // namespace
}  // namespace noxa
