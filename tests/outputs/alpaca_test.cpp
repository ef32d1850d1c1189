#include "core/day_tables.h"
#include "core/observation_feed.h"
#include "outputs/alpaca/alpaca_discovery.h"
#include "outputs/alpaca/alpaca_server.h"
#include "outputs/common/latest_readings.h"
#include "outputs/common/safety_rule.h"
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
        web = std::make_unique<WebServer>(readings, days, work.Dir());
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
    Reply Get(const QByteArray& path, const QByteArray& query = {}) {
        return Send("GET", path,
                    "ClientTransactionID=" + QByteArray::number(++transaction) +
                        (query.isEmpty() ? "" : "&" + query));
    }
    Reply Put(const QByteArray& path, const QByteArray& form) {
        return Send(
            "PUT", path,
            "ClientID=7&ClientTransactionID=" + QByteArray::number(++transaction) + "&" + form);
    }
    QJsonValue Value(const QByteArray& path, const QByteArray& query = {}) {
        const Reply reply = Get(path, query);
        EXPECT_EQ(reply.status, 200) << path.constData();
        EXPECT_EQ(reply.json["ErrorNumber"].toInt(), 0) << path.constData();
        return reply.json["Value"];
    }
    int Error(const QByteArray& path, const QByteArray& query = {}) {
        const Reply reply = Get(path, query);
        EXPECT_EQ(reply.status, 200) << path.constData();
        EXPECT_FALSE(reply.json["ErrorMessage"].toString().isEmpty()) << path.constData();
        return reply.json["ErrorNumber"].toInt();
    }
    void Observe(float cloudIndex) {
        Observation o;
        o.time = clock.NowUtc();
        o.magV = 21.34f;
        o.skyTemperature = -18.5f;
        o.sensorTemperature = 4.25f;
        o.cloudIndex = cloudIndex;
        emit feed.observed(o);
    }
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
    LatestReadings readings{feed, clock};
    SafetyRule safety{readings, SafetyLimits{}, [](const std::string&) {}};
    DayTables days;
    test::ScopedWorkDir work;
    AlpacaServer alpaca{readings, safety, AlpacaIdentity{"roof", "1.3"}};
    std::unique_ptr<WebServer> web;
    QTcpSocket socket;
    int transaction = 0;
};

constexpr const char* kConditions = "/api/v1/observingconditions/0/";

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
    EXPECT_EQ(Value("/management/v1/description").toObject()["ManufacturerVersion"], "1.3");
    const QJsonArray devices = Value("/management/v1/configureddevices").toArray();
    ASSERT_EQ(devices.size(), 2);
    EXPECT_EQ(devices[0]["DeviceType"], "ObservingConditions");
    EXPECT_EQ(devices[1]["DeviceType"], "SafetyMonitor");
    EXPECT_EQ(devices[1]["DeviceNumber"], 0);
    EXPECT_EQ(devices[0]["UniqueID"],
              AlpacaServer::DeviceId("roof", "ObservingConditions").toString(QUuid::WithoutBraces));
    EXPECT_NE(devices[0]["UniqueID"], devices[1]["UniqueID"]);
    EXPECT_NE(AlpacaServer::DeviceId("roof", "SafetyMonitor"),
              AlpacaServer::DeviceId("garden", "SafetyMonitor"));
}

TEST_F(AlpacaTest, TransactionIdsAreEchoedAndCountedAndParameterNamesIgnoreCase) {
    const Reply first = Send("GET", "/api/v1/safetymonitor/0/name", "clienttransactionid=41");
    const Reply second =
        Send("GET", "/api/v1/safetymonitor/0/name", "CLIENTTRANSACTIONID=4294967295");
    EXPECT_EQ(first.json["ClientTransactionID"].toInteger(), 41);
    EXPECT_EQ(second.json["ClientTransactionID"].toInteger(), 4294967295);
    EXPECT_EQ(first.json["ServerTransactionID"].toInteger(), 1);
    EXPECT_EQ(second.json["ServerTransactionID"].toInteger(), 2);
    EXPECT_EQ(first.json["Value"], "roof safety");
    EXPECT_EQ(Send("GET", "/api/v1/safetymonitor/0/name", "").json["ClientTransactionID"], 0);
    EXPECT_EQ(Send("PUT", "/api/v1/safetymonitor/0/connected", "cOnNeCtEd=true").status, 200);
    EXPECT_TRUE(Value("/api/v1/safetymonitor/0/connected").toBool());
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
    // The web server's own paths are untouched.
    EXPECT_EQ(Send("GET", "/api/readings", "").status, 200);
}

TEST_F(AlpacaTest, CommonMembersOfBothDevices) {
    for (const QByteArray type : {"observingconditions", "safetymonitor"}) {
        const QByteArray base = "/api/v1/" + type + "/0/";
        EXPECT_FALSE(Value(base + "connected").toBool());
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
    ConnectBoth();
    for (const char* member : {"skyquality", "skytemperature", "temperature", "cloudcover"})
        EXPECT_EQ(Error(base + member), 0x402) << member;
    EXPECT_EQ(Error(base + "timesincelastupdate", "SensorName=SkyQuality"), 0x402);

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

}  // namespace
}  // namespace noxa
