// The publisher against a real broker started by each test, seen through a subscriber.
#include "mqtt_broker.h"
#include "support/log_lines.h"

#include "core/observation_feed.h"
#include "outputs/common/latest_readings.h"
#include "outputs/common/safety_rule.h"
#include "outputs/common/station_status.h"
#include "outputs/mqtt/mqtt_publisher.h"
#include "outputs/mqtt/mqtt_topics_record.h"
#include "time/station_clock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
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
        config.topicsFile = QFile::encodeName(dir.filePath("topics.txt")).toStdString();
        config.heartbeatMs = heartbeatMs;
        auto publisher = std::make_unique<MqttPublisher>(StationView{readings, safety, status},
                                                         config, test::KeepIn(log));
        QObject::connect(publisher.get(), &MqttPublisher::connectionChanged,
                         [this](bool connected) { connectionChanges.push_back(connected); });
        publisher->Start();
        return publisher;
    }

    int LogCount(const std::string& line) {
        return static_cast<int>(std::count(log.begin(), log.end(), line));
    }
    bool WaitForLog(const std::string& line, int count = 1) {
        return QTest::qWaitFor([&] { return LogCount(line) >= count; }, 10000);
    }

    void Observe(float magV, float cloudIndex = 0) {
        Observation o;
        o.time = clock.NowUtc();
        o.station = "qelvoxxx";
        o.magV = magV;
        o.sensorTemperature = 9.5f;
        o.cloudIndex = cloudIndex;
        emit feed.observed(o);
    }

    QTemporaryDir dir;
    ManualClock clock{QDateTime(QDate(2026, 3, 1), QTime(22, 30), Qt::UTC)};
    ObservationFeed feed;
    StationStatus status{feed, clock};
    LatestReadings readings{feed, clock};
    SafetyRule safety{readings, SafetyLimits{}, Log{}};
    int heartbeatMs = 15000;
    std::vector<std::string> log;
    std::vector<bool> connectionChanges;
};

// Waits for a state message whose channel 1 brightness is `magV`.
bool WaitForState(TestSubscriber& subscriber, const std::string& topic, double magV) {
    return QTest::qWaitFor(
        [&] {
            for (const auto& [t, payload] : subscriber.Messages()) {
                if (t == topic && Json(payload)["mag_v"].toDouble() == magV) return true;
            }
            return false;
        },
        10000);
}

// The discovery messages the subscriber holds, once there are `count` of them.
std::map<std::string, QJsonObject> WaitForDiscovery(TestSubscriber& subscriber, std::size_t count) {
    std::map<std::string, QJsonObject> configs;
    (void)QTest::qWaitFor(
        [&] {
            configs.clear();
            for (const auto& [topic, payload] : subscriber.Messages()) {
                if (topic.rfind("homeassistant/", 0) == 0 && !payload.isEmpty())
                    configs[topic] = Json(payload);
            }
            return configs.size() >= count;
        },
        10000);
    return configs;
}

constexpr std::size_t kDiscoveryCount = 19;

TEST_F(MqttPublisherTest, SubscriberSeesRetainedStateAvailabilityAndDiscovery) {
    TestBroker broker;
    const std::string station = "Roof 1/#+\xe9";
    auto publisher = StartPublisher(broker, station);
    const MqttTopics& topics = publisher->Topics();
    ASSERT_TRUE(WaitForLog("MQTT connected to " + broker.Address().toStdString()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return publisher->Connected(); }, 5000));
    Observe(21.34f);

    // A subscriber that comes later gets every message from the broker's retained store.
    TestSubscriber subscriber(broker.Port());
    EXPECT_EQ(subscriber.WaitFor(topics.availability), "online");
    ASSERT_TRUE(WaitForState(subscriber, topics.state, 21.34));
    const QJsonObject state = Json(subscriber.WaitFor(topics.state));
    EXPECT_EQ(state["station"].toString(), "qelvoxxx");

    const std::map<std::string, QJsonObject> configs =
        WaitForDiscovery(subscriber, kDiscoveryCount);
    ASSERT_EQ(configs.size(), kDiscoveryCount);
    std::set<QString> uniqueIds;
    for (const auto& [topic, config] : configs) {
        const QString id = config["unique_id"].toString();
        uniqueIds.insert(id);
        EXPECT_TRUE(topic == "homeassistant/sensor/" + id.toStdString() + "/config" ||
                    topic == "homeassistant/binary_sensor/" + id.toStdString() + "/config")
            << topic;
        EXPECT_TRUE(QRegularExpression("^[A-Za-z0-9_-]+$").match(id).hasMatch()) << topic;
        EXPECT_EQ(config["state_topic"].toString().toStdString(), topics.state);
        EXPECT_EQ(config["availability"][0]["topic"].toString().toStdString(), topics.availability);
        EXPECT_EQ(config["device"]["identifiers"][0].toString().toStdString(), topics.nodeId);
        EXPECT_EQ(config["device"]["name"].toString(),
                  QString::fromLatin1("NOXA-V4I Roof 1/#+\xe9"));
        // The template reads a key that the state carries.
        const QString key =
            config["value_template"].toString().section("value_json.", 1).section(' ', 0, 0);
        EXPECT_TRUE(state.contains(key)) << topic;
    }
    EXPECT_EQ(uniqueIds.size(), kDiscoveryCount);
}

TEST_F(MqttPublisherTest, EachOutageIsLoggedAndEachReconnectionIsQuick) {
    TestBroker broker;
    auto publisher = StartPublisher(broker);
    const std::string connected = "MQTT connected to " + broker.Address().toStdString();
    ASSERT_TRUE(WaitForLog(connected));
    Observe(20.5f);

    const std::string lost =
        "MQTT broker " + broker.Address().toStdString() + " unreachable: connection lost; retrying";
    std::unique_ptr<TestSubscriber> subscriber;
    for (int outage = 1; outage <= 3; ++outage) {
        broker.Stop();
        ASSERT_TRUE(WaitForLog(lost, outage)) << ::testing::PrintToString(log);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !publisher->Connected(); }, 5000));
        Observe(20.5f + outage);  // while the broker is gone
        ASSERT_TRUE(broker.Start());
        subscriber = std::make_unique<TestSubscriber>(broker.Port());
        QElapsedTimer back;
        back.start();
        ASSERT_TRUE(WaitForLog(connected, outage + 1));
        // After a connection that held, the retries start again at 1 s.
        EXPECT_LT(back.elapsed(), 2500) << "outage " << outage;
    }
    // The restarted broker kept nothing: all of it was sent again.
    EXPECT_EQ(subscriber->WaitFor(publisher->Topics().availability), "online");
    EXPECT_TRUE(WaitForState(*subscriber, publisher->Topics().state, 23.5f));
    EXPECT_EQ(LogCount(lost), 3);
    EXPECT_EQ(LogCount(connected), 4);
    EXPECT_TRUE(QTest::qWaitFor([&] { return connectionChanges.size() == 7u; }, 5000));
    EXPECT_EQ(connectionChanges, (std::vector<bool>{true, false, true, false, true, false, true}));
}

TEST_F(MqttPublisherTest, ACleanStopLeavesAnUnsafeStateBeforeOffline) {
    TestBroker broker;
    auto publisher = StartPublisher(broker);
    ASSERT_TRUE(WaitForLog("MQTT connected to " + broker.Address().toStdString()));
    const MqttTopics topics = publisher->Topics();
    Observe(21.5f);
    TestSubscriber subscriber(broker.Port());
    ASSERT_TRUE(WaitForState(subscriber, topics.state, 21.5f));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Json(subscriber.WaitFor(topics.state))["safe"].toBool(); }));

    subscriber.Clear();
    publisher.reset();
    EXPECT_EQ(subscriber.WaitFor(topics.availability), "offline");
    const auto messages = subscriber.Messages();
    const auto state = std::find_if(messages.begin(), messages.end(),
                                    [&](const auto& m) { return m.first == topics.state; });
    const auto offline = std::find_if(messages.begin(), messages.end(), [&](const auto& m) {
        return m.first == topics.availability;
    });
    ASSERT_NE(state, messages.end());
    EXPECT_LT(state - messages.begin(), offline - messages.begin());
    const QJsonObject stopped = Json(state->second);
    EXPECT_FALSE(stopped["safe"].toBool(true));
    EXPECT_FALSE(stopped["link_ok"].toBool(true));
    EXPECT_EQ(stopped["unsafe_reason"].toString(), "station stopped");
    EXPECT_EQ(stopped["mag_v"].toDouble(), 21.5);
    // The broker may log the goodbye just after passing "offline" on.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return broker.Log().contains(
                QRegularExpression("Client noxa_qelvoxxx-\\d+ disconnected\\."));
        },
        5000))
        << broker.Log().toStdString();
}

// What a killed run leaves (a safe sky, its will's "offline") and what a stopped one leaves are
// replaced by the new run's state as soon as it is connected, before "online" and before any
// report.
class MqttPublisherTestAfterARun : public MqttPublisherTest,
                                   public ::testing::WithParamInterface<const char*> {};

TEST_P(MqttPublisherTestAfterARun, ItsStateIsReplacedBeforeTheFirstReport) {
    TestBroker broker;
    std::string problem;
    const MqttTopics topics = MakeMqttTopics("qelvoxxx", "", "", problem);
    TestSubscriber subscriber(broker.Port());
    ASSERT_TRUE(subscriber.WaitForSubscription());
    subscriber.Publish(topics.state, GetParam(), true);
    subscriber.Publish(topics.availability, "offline", true);
    ASSERT_EQ(subscriber.WaitFor(topics.state), GetParam());
    subscriber.Clear();

    auto publisher = StartPublisher(broker);
    ASSERT_EQ(subscriber.WaitFor(topics.availability, "online"), "online");
    const auto messages = subscriber.Messages();
    const auto state = std::find_if(messages.begin(), messages.end(),
                                    [&](const auto& m) { return m.first == topics.state; });
    const auto online = std::find_if(messages.begin(), messages.end(),
                                     [&](const auto& m) { return m.first == topics.availability; });
    ASSERT_NE(state, messages.end());
    EXPECT_LT(state - messages.begin(), online - messages.begin());
    const QJsonObject fresh = Json(state->second);
    EXPECT_FALSE(fresh["safe"].toBool(true));
    EXPECT_FALSE(fresh["link_ok"].toBool(true));
    EXPECT_EQ(fresh["unsafe_reason"].toString(), "no report yet");

    // The first report's verdict follows at once, with its reason.
    Observe(21.5f, 33);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        const auto after = subscriber.Messages();
        return std::any_of(after.begin(), after.end(), [&](const auto& m) {
            return m.first == topics.state &&
                   Json(m.second)["unsafe_reason"] == "cloud cover 33 % above 30 %";
        });
    }));
}

INSTANTIATE_TEST_SUITE_P(
    Leftovers, MqttPublisherTestAfterARun,
    ::testing::Values(R"({"link_ok":true,"safe":true,"unsafe_reason":null})",
                      R"({"link_ok":false,"safe":false,"unsafe_reason":"station stopped"})"));

// A station whose readings stand still still publishes its state, well within the expiry of
// Home Assistant's link and verdict; one that hangs stops, and they expire.
TEST_F(MqttPublisherTest, TheStateIsPublishedAgainAtEveryHeartbeat) {
    heartbeatMs = 200;
    TestBroker broker;
    TestSubscriber subscriber(broker.Port());
    auto publisher = StartPublisher(broker);
    const MqttTopics topics = publisher->Topics();
    const QJsonObject link =
        Json(subscriber.WaitFor("homeassistant/binary_sensor/" + topics.nodeId + "_link/config"));
    EXPECT_EQ(link["expire_after"].toInt(), 1);  // four heartbeats, in whole seconds
    subscriber.Clear();
    const auto states = [&] {
        const auto messages = subscriber.Messages();
        return std::count_if(messages.begin(), messages.end(),
                             [&](const auto& m) { return m.first == topics.state; });
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return states() >= 3; }, 5000));
}

TEST_F(MqttPublisherTest, ARenamedStationClearsTheTopicsOfItsOldName) {
    TestBroker broker;
    TestSubscriber subscriber(broker.Port());
    auto publisher = StartPublisher(broker, "old");
    ASSERT_TRUE(WaitForLog("MQTT connected to " + broker.Address().toStdString()));
    const MqttTopics old = publisher->Topics();
    const std::map<std::string, QJsonObject> oldConfigs =
        WaitForDiscovery(subscriber, kDiscoveryCount);
    ASSERT_EQ(oldConfigs.size(), kDiscoveryCount);
    publisher.reset();

    std::set<std::string> forgotten = {old.state, old.availability};
    for (const auto& [topic, config] : oldConfigs) forgotten.insert(topic);
    publisher = StartPublisher(broker, "new");
    const bool cleared = QTest::qWaitFor(
        [&] {
            std::set<std::string> emptied;
            for (const auto& [topic, payload] : subscriber.Messages())
                if (payload.isEmpty()) emptied.insert(topic);
            return std::includes(emptied.begin(), emptied.end(), forgotten.begin(),
                                 forgotten.end());
        },
        10000);
    EXPECT_TRUE(cleared);

    // A newcomer finds the new station's discovery only.
    TestSubscriber newcomer(broker.Port());
    const std::map<std::string, QJsonObject> configs = WaitForDiscovery(newcomer, kDiscoveryCount);
    EXPECT_EQ(configs.size(), kDiscoveryCount);
    for (const auto& [topic, config] : configs)
        EXPECT_NE(topic.find("noxa_new_"), std::string::npos) << topic;
    // Once the broker took the clearing, the new name's topics are the ones remembered.
    const std::string file = QFile::encodeName(dir.filePath("topics.txt")).toStdString();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return ReadPublishedTopics(file).count(publisher->Topics().state) == 1; }, 5000));
    EXPECT_EQ(ReadPublishedTopics(file).count(old.availability), 0u);
}

TEST_F(MqttPublisherTest, LogsInWithAPasswordAndLogsEachChangeOfWhyItCannot) {
    TestBroker broker("allow_anonymous false\npassword_file {dir}/passwords", false);
    ASSERT_EQ(QProcess::execute("mosquitto_passwd",
                                {"-b", "-c", broker.Dir() + "/passwords", "station", "s3cret"}),
              0);
    ASSERT_TRUE(broker.Start());

    const std::string unreachable =
        "MQTT broker " + broker.Address().toStdString() + " unreachable: ";
    auto refused = StartPublisher(broker, "qelvoxxx", "station", "wrong");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !log.empty(); }, 10000));
    EXPECT_THAT(log[0], ::testing::StartsWith(unreachable + "refused: "));
    EXPECT_THAT(log[0], ::testing::Not(::testing::HasSubstr("wrong")));
    // The broker goes away, and comes back still refusing: each change is one line.
    broker.Stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.size() >= 2; }, 10000));
    EXPECT_EQ(log[1], unreachable + "Connection refused; retrying");
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.size() >= 3; }, 10000));
    EXPECT_EQ(log[2], log[0]);
    EXPECT_FALSE(refused->Connected());
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
