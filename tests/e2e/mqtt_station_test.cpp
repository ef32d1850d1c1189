// The station's MQTT availability as a subscriber sees it when the station process ends: the
// broker's last will after a kill, the station's own "offline" after SIGTERM.
#include "outputs/mqtt_broker.h"
#include "station_process.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace noxa::test {
namespace {

constexpr char kAvailability[] = "noxa/qelvoxxx/availability";
constexpr char kState[] = "noxa/qelvoxxx/state";

quint16 FreeTcpPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

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
        const QByteArray state = subscriber.WaitFor(kState, {});
        EXPECT_EQ(QJsonDocument::fromJson(state).object()["station"].toString(), "qelvoxxx");

        subscriber.Clear();
        station.Kill();
        EXPECT_EQ(subscriber.WaitFor(kAvailability), "offline");
    }
    StationProcess station(dir.path(), {"--mqtt", broker.Address()});
    ASSERT_EQ(subscriber.WaitFor(kAvailability, "online"), "online");
    // The killed run's state gave way to this run's before it said "online".
    EXPECT_EQ(QJsonDocument::fromJson(subscriber.WaitFor(kState)).object()["unsafe_reason"],
              "no report yet");
    subscriber.Clear();
    EXPECT_EQ(station.Terminate(), 0);
    EXPECT_EQ(subscriber.WaitFor(kAvailability, {}, 3000), "offline");
    // Its last state no longer claims a working link and a safe sky.
    const QJsonObject last = QJsonDocument::fromJson(subscriber.WaitFor(kState)).object();
    EXPECT_FALSE(last["safe"].toBool(true));
    EXPECT_FALSE(last["link_ok"].toBool(true));
    EXPECT_EQ(last["unsafe_reason"].toString(), "station stopped");
    // The killed station's connection was cut; the terminated one said goodbye (which the
    // broker may log just after passing "offline" on).
    const QRegularExpression goodbye("Client noxa_qelvoxxx-\\d+ disconnected\\.");
    (void)QTest::qWaitFor([&] { return broker.Log().contains(goodbye); }, 5000);
    EXPECT_EQ(broker.Log().count(goodbye), 1) << broker.Log().toStdString();
}

// The body of a GET on 127.0.0.1:port, read to the server's close.
QByteArray Get(quint16 port, const QByteArray& path) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000)) return {};
    socket.write("GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000)) {
    }
    const QByteArray answer = socket.readAll();
    return answer.mid(answer.indexOf("\r\n\r\n") + 4);
}

TEST(MqttStation, LinksTheDashboardAndRemembersItsTopicsInItsFolder) {
    TestBroker broker;
    TestSubscriber subscriber(broker.Port());
    QTemporaryDir dir;
    const quint16 httpPort = FreeTcpPort();
    StationProcess station(dir.path(),
                           {"--mqtt", broker.Address(), "--http", QString::number(httpPort)});
    ASSERT_TRUE(station.WaitForLog("MQTT connected to " + broker.Address()));
    const QJsonObject link =
        QJsonDocument::fromJson(
            subscriber.WaitFor("homeassistant/binary_sensor/noxa_qelvoxxx_link/config"))
            .object();
    EXPECT_EQ(link["device"]["configuration_url"].toString(),
              QStringLiteral("http://127.0.0.1:%1/").arg(httpPort));
    // The readings expire at the safety rule's stale limit.
    const QJsonObject magV =
        QJsonDocument::fromJson(
            subscriber.WaitFor("homeassistant/sensor/noxa_qelvoxxx_mag_v/config"))
            .object();
    EXPECT_EQ(magV["expire_after"].toInt(), 120);
    QFile topics(dir.filePath("noxa-mqtt-topics.txt"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return topics.exists(); }, 5000));
    ASSERT_TRUE(topics.open(QIODevice::ReadOnly));
    EXPECT_TRUE(
        topics.readAll().contains("homeassistant/binary_sensor/noxa_qelvoxxx_link/config\n"));
    // The web side's view follows the connection a moment after the log line.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return Get(httpPort, "/metrics")
                .contains("noxa_mqtt_connected{station=\"qelvoxxx\"} 1\n");
        },
        5000));
}

}  // namespace
}  // namespace noxa::test
