// The publisher against a real broker started by each test, seen through a subscriber.
#include "mqtt_broker.h"

#include "core/observation_feed.h"
#include "outputs/common/latest_readings.h"
#include "outputs/mqtt/mqtt_publisher.h"
#include "time/station_clock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace noxa {
namespace {

using test::TestBroker;
using test::TestSubscriber;

QJsonObject Json(const QByteArray& payload) {
    return QJsonDocument::fromJson(payload).object();
}

class MqttPublisherTest : public ::testing::Test {
protected:
    std::unique_ptr<MqttPublisher> StartPublisher(TestBroker& broker,
                                                  const std::string& station = "qelvoxxx",
                                                  const std::string& user = {},
                                                  const std::string& password = {}) {
        MqttPublisherConfig config;
        config.host = "127.0.0.1";
        config.port = broker.Port();
        config.user = user;
        config.password = password;
        config.stationName = station;
        auto publisher = std::make_unique<MqttPublisher>(
            readings, config, [this](const std::string& line) { log.push_back(line); });
        publisher->Start();
        return publisher;
    }

    int LogCount(const std::string& line) {
        return static_cast<int>(std::count(log.begin(), log.end(), line));
    }
    bool WaitForLog(const std::string& line, int count = 1) {
        return QTest::qWaitFor([&] { return LogCount(line) >= count; }, 10000);
    }

    void Observe(float magV) {
        Observation o;
        o.time = clock.NowUtc();
        o.station = "qelvoxxx";
        o.magV = magV;
        o.sensorTemperature = 9.5f;
        emit feed.observed(o);
    }

    ManualClock clock{QDateTime(QDate(2026, 3, 1), QTime(22, 30), Qt::UTC)};
    ObservationFeed feed;
    LatestReadings readings{feed, clock};
    std::vector<std::string> log;
};

TEST_F(MqttPublisherTest, SubscriberSeesRetainedStateAvailabilityAndDiscovery) {
    TestBroker broker;
    const std::string station = "Roof 1/#+\xe9";
    auto publisher = StartPublisher(broker, station);
    const MqttTopics& topics = publisher->Topics();
    ASSERT_TRUE(WaitForLog("MQTT connected to " + broker.Address().toStdString()));
    Observe(21.34f);

    // A subscriber that comes later gets every message from the broker's retained store.
    QTest::qWait(200);
    TestSubscriber subscriber(broker.Port());
    EXPECT_EQ(subscriber.WaitFor(topics.availability), "online");
    const QJsonObject state = Json(subscriber.WaitFor(topics.state));
    EXPECT_FLOAT_EQ(state["mag_v"].toDouble(), 21.34);
    EXPECT_EQ(state["station"].toString(), "qelvoxxx");

    QTest::qWait(300);
    std::map<std::string, QJsonObject> configs;
    for (const auto& [topic, payload] : subscriber.Messages()) {
        if (topic.rfind("homeassistant/sensor/", 0) == 0) configs[topic] = Json(payload);
    }
    ASSERT_EQ(configs.size(), 16u);
    std::set<QString> uniqueIds;
    for (const auto& [topic, config] : configs) {
        const QString id = config["unique_id"].toString();
        uniqueIds.insert(id);
        EXPECT_EQ(topic, "homeassistant/sensor/" + id.toStdString() + "/config");
        EXPECT_TRUE(QRegularExpression("^[A-Za-z0-9_-]+$").match(id).hasMatch()) << topic;
        EXPECT_EQ(config["state_topic"].toString().toStdString(), topics.state);
        EXPECT_EQ(config["availability_topic"].toString().toStdString(), topics.availability);
        EXPECT_EQ(config["device"]["identifiers"][0].toString().toStdString(), topics.nodeId);
        EXPECT_EQ(config["device"]["name"].toString(),
                  QString::fromLatin1("NOXA-V4I Roof 1/#+\xe9"));
        // The template reads a key that the state carries.
        const QString key = config["value_template"].toString().section('.', 1).section(' ', 0, 0);
        EXPECT_TRUE(state.contains(key)) << topic;
    }
    EXPECT_EQ(uniqueIds.size(), 16u);
    const auto sensor = [&](const char* key) {
        return configs["homeassistant/sensor/" + topics.nodeId + "_" + key + "/config"];
    };
    EXPECT_EQ(sensor("mag_v")["unit_of_measurement"].toString(), "mag/arcsec²");
    EXPECT_EQ(sensor("mag_v")["state_class"].toString(), "measurement");
    EXPECT_EQ(sensor("temperature")["device_class"].toString(), "temperature");
    EXPECT_EQ(sensor("temperature")["unit_of_measurement"].toString(), "°C");
    EXPECT_EQ(sensor("cloud_cover")["unit_of_measurement"].toString(), "%");
    EXPECT_FALSE(sensor("cloud_cover").contains("device_class"));
    EXPECT_EQ(sensor("sun_altitude")["unit_of_measurement"].toString(), "°");
    EXPECT_FALSE(sensor("moon_illumination").contains("unit_of_measurement"));
    EXPECT_EQ(sensor("freq_1")["entity_category"].toString(), "diagnostic");
    QJsonObject safe;
    for (const auto& [topic, payload] : subscriber.Messages()) {
        if (topic == "homeassistant/binary_sensor/" + topics.nodeId + "_safe/config") {
            safe = Json(payload);
        }
    }
    EXPECT_EQ(safe["device_class"].toString(), "safety");
    EXPECT_TRUE(state.contains("safe"));
}

TEST_F(MqttPublisherTest, ComesBackAfterTheBrokerRestartsWithOneLogLineEachWay) {
    TestBroker broker;
    auto publisher = StartPublisher(broker);
    const std::string connected = "MQTT connected to " + broker.Address().toStdString();
    ASSERT_TRUE(WaitForLog(connected));
    Observe(20.5f);

    broker.Stop();
    const std::string unreachable =
        "MQTT broker " + broker.Address().toStdString() + " unreachable: connection lost; retrying";
    ASSERT_TRUE(WaitForLog(unreachable)) << ::testing::PrintToString(log);
    Observe(20.75f);     // while the broker is gone
    QTest::qWait(1500);  // at least one more attempt fails
    ASSERT_TRUE(broker.Start());
    TestSubscriber subscriber(broker.Port());
    ASSERT_TRUE(WaitForLog(connected, 2));
    // The restarted broker kept nothing: all of it was sent again.
    EXPECT_EQ(subscriber.WaitFor(publisher->Topics().availability), "online");
    EXPECT_FLOAT_EQ(Json(subscriber.WaitFor(publisher->Topics().state))["mag_v"].toDouble(), 20.75);
    EXPECT_EQ(LogCount(unreachable), 1);
    EXPECT_EQ(log.size(), 3u) << ::testing::PrintToString(log);

    // A clean stop says so.
    const std::string availability = publisher->Topics().availability;
    subscriber.Clear();
    publisher.reset();
    EXPECT_EQ(subscriber.WaitFor(availability), "offline");
    EXPECT_TRUE(
        broker.Log().contains(QRegularExpression("Client noxa_qelvoxxx-\\d+ disconnected\\.")));
}

TEST_F(MqttPublisherTest, LogsInWithAPasswordAndSaysWhenRefused) {
    TestBroker broker("allow_anonymous false\npassword_file {dir}/passwords", false);
    ASSERT_EQ(QProcess::execute("mosquitto_passwd",
                                {"-b", "-c", broker.Dir() + "/passwords", "station", "s3cret"}),
              0);
    ASSERT_TRUE(broker.Start());

    auto refused = StartPublisher(broker, "qelvoxxx", "station", "wrong");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !log.empty(); }, 10000));
    EXPECT_THAT(log[0], ::testing::StartsWith("MQTT broker " + broker.Address().toStdString() +
                                              " unreachable: refused: "));
    EXPECT_THAT(log[0], ::testing::Not(::testing::HasSubstr("wrong")));
    refused.reset();

    log.clear();
    auto accepted = StartPublisher(broker, "qelvoxxx", "station", "s3cret");
    EXPECT_TRUE(WaitForLog("MQTT connected to " + broker.Address().toStdString()));
}

TEST(MqttTopicLevel, KeepsSafeNamesAndMakesOthersSafeDistinctAndStable) {
    EXPECT_EQ(SafeTopicLevel("qelvoxxx"), "qelvoxxx");
    EXPECT_EQ(SafeTopicLevel("Roof-1_a"), "Roof-1_a");
    EXPECT_EQ(SafeTopicLevel(""), "unnamed");
    const std::vector<std::string> names = {"roof 1",
                                            "roof/1",
                                            "roof+1",
                                            "roof#1",
                                            "roof\xe9"
                                            "1",
                                            "roof  1",
                                            "roof 1 "};
    std::set<std::string> levels;
    for (const std::string& name : names) {
        const std::string level = SafeTopicLevel(name);
        EXPECT_EQ(level, SafeTopicLevel(name));
        EXPECT_EQ(level.find_first_not_of(
                      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-"),
                  std::string::npos)
            << level;
        EXPECT_EQ(level.rfind("roof_", 0), 0u) << level;
        levels.insert(level);
    }
    EXPECT_EQ(levels.size(), names.size());

    std::string problem;
    const MqttTopics topics = MakeMqttTopics("roof 1", "", "", problem);
    EXPECT_EQ(topics.state, "noxa/" + SafeTopicLevel("roof 1") + "/state");
    EXPECT_EQ(topics.discoveryPrefix, "homeassistant");
    EXPECT_EQ(MakeMqttTopics("x", "site/+/", "ha", problem).state, "noxa/x/state");
    EXPECT_EQ(MakeMqttTopics("x", "site/sqm/", "ha", problem).state, "site/sqm/state");
}

}  // namespace
}  // namespace noxa
