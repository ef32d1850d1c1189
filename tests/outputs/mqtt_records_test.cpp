// The records against a real broker started by the test, seen by a subscriber that stands in
// for an archive.
#include "mqtt_broker.h"
#include "support/log_lines.h"

#include "core/observation_feed.h"
#include "outputs/common/latest_readings.h"
#include "outputs/common/safety_rule.h"
#include "outputs/common/station_status.h"
#include "outputs/mqtt/mqtt_publisher.h"
#include "outputs/mqtt/record_json.h"
#include "time/station_clock.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace noxa {
namespace {

using test::TestBroker;
using test::TestSubscriber;

constexpr UtcMilliseconds kMinute = 60'000;
const std::string kPrefix = "noxa/roof";

class MqttRecordsTest : public ::testing::Test {
protected:
    std::unique_ptr<MqttPublisher> StartPublisher(TestBroker& broker) {
        MqttPublisherConfig config;
        config.host = "127.0.0.1";
        config.port = broker.Port();
        config.stationName = "Roof";
        config.topicPrefix = kPrefix;
        config.recordJournal = QFile::encodeName(dir.filePath("journal")).toStdString();
        auto publisher = std::make_unique<MqttPublisher>(StationView{readings, safety, status},
                                                         config, test::KeepIn(log), &clock);
        publisher->Start();
        return publisher;
    }
    void Record(MqttPublisher& publisher, int minute) {
        IntervalRecord record;
        record.start = clock.NowUtc() + (minute - 1) * kMinute;
        record.end = clock.NowUtc() + minute * kMinute;
        record.reports = 10;
        record.magV = 20 + minute;
        publisher.Record(record, SunMoon{});
    }
    bool WaitForLog(const std::string& line) {
        return QTest::qWaitFor([&] { return std::count(log.begin(), log.end(), line) > 0; }, 10000);
    }
    // The minutes of the records the archive got, and of their previous ends (0: null).
    static std::vector<std::pair<int, int>> Records(TestSubscriber& archive) {
        std::vector<std::pair<int, int>> records;
        const UtcMilliseconds base = start;
        for (const auto& [topic, payload] : archive.Messages()) {
            if (topic != kPrefix + "/record") continue;
            const std::optional<RecordChain> chain = ReadRecordChain(payload);
            records.emplace_back(
                chain ? int((chain->end - base) / kMinute) : -1,
                chain && chain->previousEnd ? int((*chain->previousEnd - base) / kMinute) : 0);
        }
        return records;
    }

    inline static const UtcMilliseconds start =
        QDateTime(QDate(2026, 3, 1), QTime(22, 30), Qt::UTC).toMSecsSinceEpoch();
    QTemporaryDir dir;
    ManualClock clock{QDateTime::fromMSecsSinceEpoch(start, Qt::UTC)};
    ObservationFeed feed;
    StationStatus status{feed, clock};
    LatestReadings readings{feed, clock};
    SafetyRule safety{readings, SafetyLimits{}, Log{}};
    std::vector<std::string> log;
};

TEST_F(MqttRecordsTest, RecordsMadeWhileTheBrokerIsDownArriveOnceInOrderAndAGapIsSentAgain) {
    TestBroker broker("allow_anonymous true\npersistence true\npersistence_location {dir}/");
    // The archive's session is kept by the broker, and it is known with nothing confirmed.
    TestSubscriber archive(broker.Port(), "noxa-archive-test");
    ASSERT_TRUE(archive.WaitForSubscription());
    const std::string confirmation = kPrefix + "/archived/test";
    archive.Publish(confirmation, R"({"through":null,"newest":null})", true);
    ASSERT_FALSE(archive.WaitFor(confirmation).isEmpty());
    broker.Stop();

    auto publisher = StartPublisher(broker);
    for (int minute = 1; minute <= 3; ++minute) Record(*publisher, minute);
    EXPECT_TRUE(WaitForLog("MQTT: 1 record waits for the broker"));
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(WaitForLog("MQTT: the 3 records that waited reached the broker"));
    EXPECT_EQ(publisher->RecordsHeld(), 3u);  // none confirmed yet

    // The archive lost the second record after the broker had it.
    const QByteArray gap = "{\"through\":\"" + UtcText(start + kMinute).toUtf8() +
                           "\",\"newest\":\"" + UtcText(start + 3 * kMinute).toUtf8() + "\"}";
    archive.Publish(confirmation, gap, true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Records(archive).size() >= 4; }, 10000));
    EXPECT_THAT(Records(archive), ::testing::ElementsAre(std::pair(1, 0), std::pair(2, 1),
                                                         std::pair(3, 2), std::pair(2, 1)));
    EXPECT_EQ(publisher->RecordsHeld(), 2u);
}

}  // namespace
}  // namespace noxa
