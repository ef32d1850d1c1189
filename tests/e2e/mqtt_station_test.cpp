// The station's MQTT availability as a subscriber sees it when the station process ends: the
// broker's last will after a kill, the station's own "offline" after SIGTERM.
#include "outputs/mqtt_broker.h"
#include "station_process.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace noxa::test {
namespace {

constexpr char kAvailability[] = "noxa/qelvoxxx/availability";

TEST(MqttStation, PublishesReportsAndGoesOfflineWhenKilledOrTerminated) {
    TestBroker broker;
    TestSubscriber subscriber(broker.Port());
    QTemporaryDir dir;
    {
        StationProcess station(dir.path(), {"--mqtt", broker.Address()});
        ASSERT_TRUE(station.WaitForLog("MQTT connected to " + broker.Address()));
        ASSERT_EQ(subscriber.WaitFor(kAvailability), "online");
        ASSERT_TRUE(RunSimulator(
            {"--port", QString::number(station.Port()), "--count", "2", "--interval-ms", "20"}));
        const QByteArray state = subscriber.WaitFor("noxa/qelvoxxx/state", {});
        EXPECT_EQ(QJsonDocument::fromJson(state).object()["station"].toString(), "qelvoxxx");

        subscriber.Clear();
        station.Kill();
        EXPECT_EQ(subscriber.WaitFor(kAvailability), "offline");
    }
    StationProcess station(dir.path(), {"--mqtt", broker.Address()});
    ASSERT_EQ(subscriber.WaitFor(kAvailability, "online"), "online");
    subscriber.Clear();
    EXPECT_EQ(station.Terminate(), 0);
    EXPECT_EQ(subscriber.WaitFor(kAvailability, {}, 3000), "offline");
    // The killed station's connection was cut; the terminated one said goodbye.
    EXPECT_EQ(broker.Log().count(QRegularExpression("Client noxa_qelvoxxx-\\d+ disconnected\\.")),
              1)
        << broker.Log().toStdString();
}

}  // namespace
}  // namespace noxa::test
