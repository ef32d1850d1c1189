#include "core/day_tables.h"
#include "core/observation_feed.h"
#include "outputs/alpaca/alpaca_discovery.h"
#include "outputs/alpaca/alpaca_server.h"
#include "outputs/common/latest_readings.h"
#include "outputs/common/safety_rule.h"
#include "outputs/common/station_status.h"
#include "support/temp_dir.h"
#include "time/station_clock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <limits>
#include <memory>
#include <tuple>

namespace noxa {
namespace {

// An Alpaca client on one kept-alive connection, counting its transactions as clients do.
class AlpacaTest : public ::testing::Test {
protected:
    struct Reply {
        int status = 0;
        QJsonObject json;
    };

    AlpacaTest() {
        web = std::make_unique<WebServer>(StationView{readings, safety, status}, days, work.Dir());
        alpaca.MountOn(*web);
        QString error;
        EXPECT_TRUE(web->Listen(QHostAddress::LocalHost, 0, error)) << error.toStdString();
        socket.connectToHost(QHostAddress::LocalHost, web->Port());
        EXPECT_TRUE(QTest::qWaitFor([&] { return socket.state() == QTcpSocket::ConnectedState; }));
    }

    Reply Send(const QByteArray& method, const QByteArray& path, const QByteArray& form) {
        const bool put = method == "PUT";
        QByteArray request = method + ' ' + path + (put || form.isEmpty() ? "" : "?" + form) +
                             " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        if (put) {
            request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                       QByteArray::number(form.size()) + "\r\n";
        }
        socket.write(request + "\r\n" + (put ? form : QByteArray()));
        QByteArray data;
        Reply reply;
        std::ignore = QTest::qWaitFor([&] {
            data += socket.readAll();
            const qsizetype end = data.indexOf("\r\n\r\n");
            if (end < 0) return false;
            const qsizetype length = data.indexOf("Content-Length: ");
            return data.size() - end - 4 >= data.mid(length + 16, 8).split('\r')[0].toInt();
        });
        reply.status = data.mid(9, 3).toInt();
        reply.json = QJsonDocument::fromJson(data.mid(data.indexOf("\r\n\r\n") + 4)).object();
        return reply;
    }
    // The client's own parameters: its id (none when negative) and the next transaction.
    QByteArray Client(int client) {
        return (client < 0 ? "" : "ClientID=" + QByteArray::number(client) + "&") +
               "ClientTransactionID=" + QByteArray::number(++transaction);
    }
    Reply Get(const QByteArray& path, const QByteArray& query = {}, int client = 7) {
        return Send("GET", path, Client(client) + (query.isEmpty() ? "" : "&" + query));
    }
    Reply Put(const QByteArray& path, const QByteArray& form, int client = 7) {
        return Send("PUT", path, Client(client) + "&" + form);
    }
    QJsonValue Value(const QByteArray& path, const QByteArray& query = {}, int client = 7) {
        const Reply reply = Get(path, query, client);
        EXPECT_EQ(reply.status, 200) << path.constData();
        EXPECT_EQ(reply.json["ErrorNumber"].toInt(), 0) << path.constData();
        return reply.json["Value"];
    }
    int Error(const QByteArray& path, const QByteArray& query = {}, int client = 7) {
        const Reply reply = Get(path, query, client);
        EXPECT_EQ(reply.status, 200) << path.constData();
        EXPECT_FALSE(reply.json["ErrorMessage"].toString().isEmpty()) << path.constData();
        return reply.json["ErrorNumber"].toInt();
    }
    Observation Report(float cloudIndex) {
        Observation o;
        o.time = clock.NowUtc();
        o.magV = 21.34f;
        o.skyTemperature = -18.5f;
        o.sensorTemperature = 4.25f;
        o.cloudIndex = cloudIndex;
        return o;
    }
    void Observe(float cloudIndex) { emit feed.observed(Report(cloudIndex)); }
    void ConnectBoth() {
        for (const char* type : {"observingconditions", "safetymonitor"}) {
            ASSERT_EQ(Put(QByteArray("/api/v1/") + type + "/0/connected", "Connected=True")
                          .json["ErrorNumber"]
                          .toInt(),
                      0);
        }
    }

    ManualClock clock{QDateTime(QDate(2026, 3, 1), QTime(22, 30), Qt::UTC)};
    ObservationFeed feed;
    StationStatus status{feed, clock};
    LatestReadings readings{feed, clock};
    SafetyRule safety{readings, SafetyLimits{}, Log{}};
    DayTables days;
    test::ScopedWorkDir work;
    AlpacaServer alpaca{readings, safety, AlpacaIdentity{"roof", "1.3", "4d1c-roof-id", "Hilltop"}};
    std::unique_ptr<WebServer> web;
    QTcpSocket socket;
    int transaction = 0;
};

constexpr const char* kConditions = "/api/v1/observingconditions/0/";

// A socket bound to 127.0.0.1 hears no broadcasts; the discovery hears those to loopback's
// broadcast address too, and answers from 127.0.0.1.
TEST_F(AlpacaTest, DiscoveryAnswersLoopbackBroadcasts) {
    AlpacaDiscovery discovery(web->Port());
    QString error;
    ASSERT_TRUE(discovery.Listen(QHostAddress::LocalHost, 0, error)) << error.toStdString();
    const QHostAddress broadcast("127.255.255.255");
    EXPECT_EQ(discovery.BroadcastAddress(), broadcast);
    QUdpSocket client;
    ASSERT_TRUE(client.bind(QHostAddress::LocalHost, 0));
    const int on = 1;
    ASSERT_EQ(setsockopt(static_cast<int>(client.socketDescriptor()), SOL_SOCKET, SO_BROADCAST, &on,
                         sizeof on),
              0);
    ASSERT_EQ(client.writeDatagram("alpacadiscovery1", broadcast, discovery.Port()), 16);
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.hasPendingDatagrams(); }));
    const QNetworkDatagram answer = client.receiveDatagram();
    EXPECT_EQ(answer.senderAddress(), QHostAddress(QHostAddress::LocalHost));
    EXPECT_EQ(QJsonDocument::fromJson(answer.data()).object()["AlpacaPort"].toInt(), web->Port());
}

TEST_F(AlpacaTest, DiscoveryAnswersWithTheWebPortOnLoopback) {
    AlpacaDiscovery discovery(web->Port());
    QString error;
    ASSERT_TRUE(discovery.Listen(QHostAddress::LocalHost, 0, error)) << error.toStdString();
    QUdpSocket client;
    ASSERT_TRUE(client.bind(QHostAddress::LocalHost, 0));
    client.writeDatagram("hello", QHostAddress::LocalHost, discovery.Port());
    client.writeDatagram("alpacadiscovery1", QHostAddress::LocalHost, discovery.Port());
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.hasPendingDatagrams(); }));
    const QJsonObject answer = QJsonDocument::fromJson(client.receiveDatagram().data()).object();
    EXPECT_EQ(answer["AlpacaPort"].toInt(), web->Port());
    QTest::qWait(100);
    EXPECT_FALSE(client.hasPendingDatagrams());  // nothing for the other datagram
}

TEST_F(AlpacaTest, ManagementListsBothDevicesWithStableIds) {
    EXPECT_EQ(Value("/management/apiversions").toArray(), QJsonArray{1});
    const QJsonObject description = Value("/management/v1/description").toObject();
    EXPECT_EQ(description["ManufacturerVersion"], "1.3");
    EXPECT_EQ(description["Location"], "Hilltop");
    const QJsonArray devices = Value("/management/v1/configureddevices").toArray();
    ASSERT_EQ(devices.size(), 2);
    EXPECT_EQ(devices[0]["DeviceType"], "ObservingConditions");
    EXPECT_EQ(devices[1]["DeviceType"], "SafetyMonitor");
    EXPECT_EQ(devices[1]["DeviceNumber"], 0);
    // From the station's kept id, not from its name.
    EXPECT_EQ(devices[0]["UniqueID"], AlpacaServer::DeviceId("4d1c-roof-id", "ObservingConditions")
                                          .toString(QUuid::WithoutBraces));
    EXPECT_NE(devices[0]["UniqueID"], devices[1]["UniqueID"]);
    EXPECT_NE(AlpacaServer::DeviceId("4d1c-roof-id", "SafetyMonitor"),
              AlpacaServer::DeviceId("9e02-roof-id", "SafetyMonitor"));
}

TEST_F(AlpacaTest, TransactionIdsAreEchoedAndCountedAndQueryNamesIgnoreCase) {
    const Reply first = Send("GET", "/api/v1/safetymonitor/0/name", "clienttransactionid=41");
    const Reply second =
        Send("GET", "/api/v1/safetymonitor/0/name", "CLIENTTRANSACTIONID=4294967295");
    EXPECT_EQ(first.json["ClientTransactionID"].toInteger(), 41);
    EXPECT_EQ(second.json["ClientTransactionID"].toInteger(), 4294967295);
    EXPECT_EQ(first.json["ServerTransactionID"].toInteger(), 1);
    EXPECT_EQ(second.json["ServerTransactionID"].toInteger(), 2);
    EXPECT_EQ(first.json["Value"], "roof safety");
    EXPECT_EQ(Send("GET", "/api/v1/safetymonitor/0/name", "").json["ClientTransactionID"], 0);
}

// PUT bodies name their parameters exactly; a wrongly cased name is no parameter at all.
TEST_F(AlpacaTest, PutBodyNamesMatchExactly) {
    const QByteArray connected = "/api/v1/safetymonitor/0/connected";
    struct Case {
        QByteArray body;
        int status;
        qint64 clientTransaction;
    };
    for (const Case& c : {Case{"connected=True", 400, 0}, Case{"CONNECTED=True", 400, 0},
                          Case{"Connected=True&clienttransactionid=12", 200, 0},
                          Case{"Connected=True&ClientTransactionID=12", 200, 12}}) {
        const Reply reply = Send("PUT", connected, c.body);
        EXPECT_EQ(reply.status, c.status) << c.body.constData();
        if (c.status == 200) {
            EXPECT_EQ(reply.json["ClientTransactionID"].toInteger(), c.clientTransaction)
                << c.body.constData();
        }
    }
    // The query of a GET is read in any case.
    EXPECT_TRUE(Send("GET", connected, "clientid=0").json["Value"].toBool());
}

TEST_F(AlpacaTest, MalformedRequestsAndUnknownDevicesAre400) {
    EXPECT_EQ(Get("/api/v1/safetymonitor/0/name", "ClientTransactionID=x").status,
              200);  // first wins
    EXPECT_EQ(Send("GET", "/api/v1/safetymonitor/0/name", "ClientTransactionID=4294967296").status,
              400);
    EXPECT_EQ(Send("GET", "/api/v1/safetymonitor/0/name", "ClientTransactionID=-1").status, 400);
    EXPECT_EQ(Put("/api/v1/safetymonitor/0/connected", "Connected=yes").status, 400);
    EXPECT_EQ(Put("/api/v1/safetymonitor/0/connected", "").status, 400);
    EXPECT_EQ(Get("/api/v1/safetymonitor/1/issafe").status, 400);
    EXPECT_EQ(Get("/api/v1/telescope/0/name").status, 400);
    EXPECT_EQ(Get("/api/v1/safetymonitor/0/nosuchmember").status, 400);
    EXPECT_EQ(Put("/api/v1/safetymonitor/0/issafe", "").status, 400);
    EXPECT_EQ(Get("/management/v2/description").status, 400);
    EXPECT_EQ(Get("/setup").status, 200);
    EXPECT_EQ(Get("/setup/v1/telescope/0/setup").status, 404);
    // The web server's own paths are untouched.
    EXPECT_EQ(Send("GET", "/api/readings", "").status, 200);
}

TEST_F(AlpacaTest, CommonMembersOfBothDevices) {
    for (const QByteArray type : {"observingconditions", "safetymonitor"}) {
        const QByteArray base = "/api/v1/" + type + "/0/";
        EXPECT_FALSE(Value(base + "connected").toBool());
        EXPECT_EQ(Get("/setup/v1/" + type + "/0/setup").status, 200);
        EXPECT_FALSE(Value(base + "description").toString().isEmpty());
        EXPECT_FALSE(Value(base + "driverinfo").toString().isEmpty());
        EXPECT_EQ(Value(base + "driverversion"), "1.3");
        EXPECT_EQ(Value(base + "interfaceversion"), 1);
        EXPECT_EQ(Value(base + "supportedactions"), QJsonArray());
        for (const char* member : {"action", "commandblind", "commandbool", "commandstring"}) {
            EXPECT_EQ(Put(base + member, "Action=x&Parameters=&Command=x&Raw=false")
                          .json["ErrorNumber"]
                          .toInt(),
                      0x400)
                << member;
        }
    }
}

TEST_F(AlpacaTest, ObservingConditionsValuesAndErrors) {
    const QByteArray base = kConditions;
    EXPECT_EQ(Error(base + "skyquality"), 0x407);  // not connected yet
    EXPECT_EQ(Error(base + "timesincelastupdate", "SensorName=SkyQuality"), 0x407);
    // What a sensor is can be asked before connecting.
    EXPECT_TRUE(Value(base + "sensordescription", "SensorName=SkyQuality").isString());
    ConnectBoth();
    for (const char* member : {"skyquality", "skytemperature", "temperature", "cloudcover"})
        EXPECT_EQ(Error(base + member), 0x402) << member;
    // No value yet: a negative time.
    EXPECT_EQ(Value(base + "timesincelastupdate", "SensorName=SkyQuality").toDouble(), -1);
    EXPECT_EQ(Value(base + "timesincelastupdate", "SensorName=").toDouble(), -1);

    Observe(142);
    clock.Advance(2500);
    EXPECT_EQ(Value(base + "skyquality").toDouble(), 21.34);
    EXPECT_EQ(Value(base + "skytemperature").toDouble(), -18.5);
    EXPECT_EQ(Value(base + "temperature").toDouble(), 4.25);
    EXPECT_EQ(Value(base + "cloudcover").toDouble(), 100);
    EXPECT_EQ(Value(base + "timesincelastupdate", "sensorname=skyquality").toDouble(), 2.5);
    EXPECT_EQ(Value(base + "timesincelastupdate", "SensorName=").toDouble(), 2.5);
    EXPECT_TRUE(Value(base + "sensordescription", "SensorName=CloudCover").isString());
    EXPECT_EQ(Error(base + "sensordescription", "SensorName=Humidity"), 0x400);
    EXPECT_EQ(Error(base + "sensordescription", "SensorName=Bogus"), 0x401);
    EXPECT_EQ(Get(base + "sensordescription").status, 400);
    for (const char* member : {"dewpoint", "humidity", "pressure", "rainrate", "skybrightness",
                               "starfwhm", "winddirection", "windgust", "windspeed"})
        EXPECT_EQ(Error(base + member), 0x400) << member;

    EXPECT_EQ(Value(base + "averageperiod").toDouble(), 0);
    EXPECT_EQ(Put(base + "averageperiod", "AveragePeriod=0").json["ErrorNumber"], 0);
    EXPECT_EQ(Put(base + "averageperiod", "AveragePeriod=0.5").json["ErrorNumber"], 0x401);
    EXPECT_EQ(Put(base + "averageperiod", "AveragePeriod=soon").status, 400);
    EXPECT_EQ(Put(base + "refresh", "").json["ErrorNumber"], 0);
}

TEST_F(AlpacaTest, IsSafeFollowsReportsCloudsAndSilence) {
    const QByteArray issafe = "/api/v1/safetymonitor/0/issafe";
    Observe(5);
    EXPECT_FALSE(Value(issafe).toBool());  // never safe while disconnected
    ConnectBoth();
    EXPECT_TRUE(Value(issafe).toBool());
    Observe(80);
    EXPECT_FALSE(Value(issafe).toBool());
    Observe(5);
    EXPECT_TRUE(Value(issafe).toBool());
    clock.Advance(600'000);
    emit feed.linkStatus(LinkStatus{});
    EXPECT_FALSE(Value(issafe).toBool());
}

// A failed sky-temperature sensor: the reports go on without it.
TEST_F(AlpacaTest, ReadingWithoutValueIsNoNumberAndItsAgeGrows) {
    const QByteArray base = kConditions;
    ConnectBoth();
    Observe(5);
    Observation failed = Report(5);
    failed.skyTemperature = std::numeric_limits<float>::quiet_NaN();
    for (int second = 0; second < 240; second += 10) {
        clock.Advance(10'000);
        failed.time = clock.NowUtc();
        emit feed.observed(failed);
    }
    EXPECT_EQ(Value(base + "skyquality").toDouble(), 21.34);
    for (const char* member : {"skytemperature", "cloudcover"})
        EXPECT_EQ(Error(base + member), 0x402) << member;
    struct Age {
        const char* sensor;
        double seconds;
    };
    for (const Age& age :
         {Age{"SkyTemperature", 240}, Age{"CloudCover", 240}, Age{"SkyQuality", 0}, Age{"", 0}}) {
        EXPECT_EQ(
            Value(base + "timesincelastupdate", QByteArray("SensorName=") + age.sensor).toDouble(),
            age.seconds)
            << age.sensor;
    }
    clock.Advance(5'000);
    emit feed.linkStatus(LinkStatus{true, 5});
    EXPECT_EQ(Value(base + "timesincelastupdate", "SensorName=SkyTemperature").toDouble(), 245);
    EXPECT_FALSE(Value("/api/v1/safetymonitor/0/issafe").toBool());
}

// Each client connects and disconnects only itself; clients without a ClientID share one.
TEST_F(AlpacaTest, OneClientDisconnectingLeavesTheOthersConnected) {
    const QByteArray monitor = "/api/v1/safetymonitor/0/";
    Observe(5);
    for (const int client : {1, 2, -1})
        ASSERT_EQ(Put(monitor + "connected", "Connected=True", client).json["ErrorNumber"], 0);
    EXPECT_TRUE(Value(monitor + "issafe", {}, 2).toBool());
    ASSERT_EQ(Put(monitor + "connected", "Connected=False", 1).json["ErrorNumber"], 0);

    struct Client {
        int id;
        bool connected;
    };
    for (const Client& c :
         {Client{1, false}, Client{2, true}, Client{-1, true}, Client{0, true}, Client{9, false}}) {
        EXPECT_EQ(Value(monitor + "connected", {}, c.id).toBool(), c.connected) << c.id;
        EXPECT_EQ(Value(monitor + "issafe", {}, c.id).toBool(), c.connected) << c.id;
    }
    EXPECT_EQ(Error(QByteArray(kConditions) + "skyquality", {}, 2), 0x407);  // another device
}

}  // namespace
}  // namespace noxa
