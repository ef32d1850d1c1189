#include "core/day_tables.h"
#include "core/observation_feed.h"
#include "outputs/common/latest_readings.h"
#include "outputs/common/safety_rule.h"
#include "outputs/common/station_status.h"
#include "outputs/web/web_server.h"
#include "support/temp_dir.h"
#include "time/station_clock.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace noxa {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// The web server on a free port of 127.0.0.1, its working folder a temporary one.
class YearsRoutesTest : public ::testing::Test {
protected:
    YearsRoutesTest() {
        QString error;
        EXPECT_TRUE(server.Listen(QHostAddress::LocalHost, 0, error)) << error.toStdString();
    }

    void WriteFile(const QString& name, const QByteArray& bytes) {
        const QString path = work.Path() + '/' + name;
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // The status line and the body of the answer to GET `path`.
    std::pair<std::string, QByteArray> Get(const QByteArray& path) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, server.Port());
        socket.write("GET " + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
        QByteArray data;
        std::ignore = QTest::qWaitFor(
            [&] {
                data += socket.readAll();
                return socket.state() == QTcpSocket::UnconnectedState;
            },
            3000);
        const qsizetype end = data.indexOf("\r\n\r\n");
        return {data.left(data.indexOf("\r\n")).toStdString(), data.mid(end + 4)};
    }

    ManualClock clock{QDateTime(QDate(2024, 3, 1), QTime(22, 30), Qt::UTC)};
    ObservationFeed feed;
    StationStatus status{feed, clock};
    LatestReadings readings{feed, clock};
    SafetyRule safety{readings, SafetyLimits{}, Log{}};
    DayTables days;
    test::ScopedWorkDir work;
    WebServer server{{readings, safety, status}, days, work.Dir()};
};

TEST_F(YearsRoutesTest, YearChartsOnlyByTheirExactNames) {
    const QByteArray png("\x89PNG\r\n\x1a\n a year", 15);
    WriteFile("night/hourglass-2024.png", png);
    WriteFile("night/hourglass-roof-2024.png", "other");
    WriteFile("secret.txt", "secret");
    const auto [status, body] = Get("/hourglass/2024.png");
    EXPECT_THAT(status, StartsWith("HTTP/1.1 200 "));
    EXPECT_EQ(body, png);

    for (const char* path :
         {"/hourglass/2023.png", "/hourglass/0000.png", "/hourglass/", "/hourglass/roof-2024.png",
          "/hourglass/../secret.txt", "/hourglass/..%2fsecret.txt", "/hourglass/%2e%2e/secret.txt",
          "/hourglass/2024.png/../../secret.txt", "/hourglass/2024.PNG", "/hourglass/024.png",
          "/hourglass/20240.png", "/hourglass/2024.png.bak", "/hourglass/+024.png",
          "/hourglass/2024%00.png",
          "/hourglass/\xd9\xa2"
          "024.png"}) {
        const auto [status, body] = Get(path);
        EXPECT_THAT(status, StartsWith("HTTP/1.1 404 ")) << path;
        EXPECT_THAT(body.toStdString(), Not(HasSubstr("secret"))) << path;
    }
}

TEST_F(YearsRoutesTest, MonthsWithNullForWhatWasNotFound) {
    EXPECT_EQ(Get("/api/monthly").second, "[]");
    WriteFile("night/monthly.csv",
              "instrument,month,nights,dark_clear_records,median_740nm,records_740nm\n"
              ",2024-02,12,340,21.35,340\n"
              ",2024-03,3,0,,0\n"
              ",2024-13,3,0,,0\n"
              ",2024-04,3,0,x,0\n"
              ",2024-05,3\n"
              "sqm-1,2024-02,20,500,20.90,500\n");
    const QJsonArray months = QJsonDocument::fromJson(Get("/api/monthly").second).array();
    ASSERT_EQ(months.size(), 3);
    const QJsonObject february = months[0].toObject();
    EXPECT_TRUE(february["instrument"].isNull());
    EXPECT_EQ(february["month"].toString(), "2024-02");
    EXPECT_EQ(february["nights"].toInt(), 12);
    EXPECT_EQ(february["median_740nm"].toDouble(), 21.35);
    EXPECT_TRUE(months[1].toObject()["median_740nm"].isNull());
    EXPECT_EQ(months[1].toObject()["records_740nm"].toInt(), 0);
    EXPECT_EQ(months[2].toObject()["instrument"].toString(), "sqm-1");
}

TEST_F(YearsRoutesTest, YearsPageLinkedWithTheOthers) {
    const std::string years = Get("/years").second.toStdString();
    EXPECT_THAT(years, HasSubstr("Dark-sky median, 740 nm"));
    EXPECT_THAT(years, HasSubstr("href=\"/\""));
    EXPECT_THAT(years, HasSubstr("href=\"/nights\""));
    for (const char* page : {"/", "/nights"})
        EXPECT_THAT(Get(page).second.toStdString(), HasSubstr("href=\"/years\"")) << page;
}

}  // namespace
}  // namespace noxa
