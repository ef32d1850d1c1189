#include "outputs/web/web_server.h"
#include "core/day_tables.h"
#include "core/observation_feed.h"
#include "outputs/common/latest_readings.h"
#include "outputs/common/metrics_text.h"
#include "outputs/common/safety_rule.h"
#include "outputs/common/station_status.h"
#include "support/http_chunks.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"
#include "time/date_time.h"
#include "time/station_clock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <future>
#include <limits>
#include <memory>
#include <tuple>
#include <vector>

namespace noxa {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// What a client saw: the status line and headers, the body, and whether the server closed.
struct Reply {
    QByteArray head;
    QByteArray body;
    bool closed = false;

    QByteArray Header(const char* name) const {
        for (const QByteArray& line : head.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).compare(name, Qt::CaseInsensitive) == 0)
                return line.mid(colon + 1).trimmed();
        }
        return {};
    }
};

class WebServerTest : public ::testing::Test {
protected:
    WebServerTest() {
        limits.maxConnections = 3;
        limits.maxHeadBytes = 1024;
        limits.timeoutSeconds = 1;
        server = std::make_unique<WebServer>(StationView{readings, safety, status}, days,
                                             work.Dir(), limits);
        QString error;
        EXPECT_TRUE(server->Listen(QHostAddress::LocalHost, 0, error)) << error.toStdString();
    }

    std::unique_ptr<QTcpSocket> Connect(const QHostAddress& from = QHostAddress::LocalHost) {
        auto socket = std::make_unique<QTcpSocket>();
        EXPECT_TRUE(socket->bind(from));
        socket->connectToHost(QHostAddress::LocalHost, server->Port());
        EXPECT_TRUE(QTest::qWaitFor([&] { return socket->state() == QTcpSocket::ConnectedState; }));
        return socket;
    }

    // Sends `request` and waits for a whole answer (by its Content-Length) or the close.
    Reply Exchange(QTcpSocket& socket, const QByteArray& request, bool head = false,
                   int timeoutMs = 3000) {
        socket.write(request);
        QByteArray data;
        Reply reply;
        std::ignore = QTest::qWaitFor(
            [&] {
                data += socket.readAll();
                reply.closed = socket.state() == QTcpSocket::UnconnectedState;
                const qsizetype end = data.indexOf("\r\n\r\n");
                if (end < 0) return reply.closed;
                reply.head = data.left(end);
                reply.body = data.mid(end + 4);
                return reply.closed || head ||
                       reply.body.size() >= reply.Header("Content-Length").toLongLong();
            },
            timeoutMs);
        return reply;
    }

    Reply Get(const char* path, const char* method = "GET") {
        auto socket = Connect();
        return Exchange(*socket,
                        QByteArray(method) + ' ' + path + " HTTP/1.1\r\nHost: localhost\r\n\r\n",
                        qstrcmp(method, "HEAD") == 0);
    }

    QJsonObject Json(const char* path) { return QJsonDocument::fromJson(Get(path).body).object(); }

    void Observe() {
        Observation o;
        o.time = clock.NowUtc();
        o.station = "roof";
        o[ChannelId::C740].mag = 21.34f;
        o[ChannelId::Blue].mag = std::numeric_limits<float>::quiet_NaN();
        emit feed.observed(o);
    }

    ManualClock clock{QDateTime(QDate(2026, 3, 1), QTime(22, 30), Qt::UTC)};
    ObservationFeed feed;
    StationStatus status{feed, clock};
    LatestReadings readings{feed, clock};
    SafetyRule safety{readings, SafetyLimits{}, Log{}};
    DayTables days;
    test::ScopedWorkDir work;
    WebLimits limits;
    std::unique_ptr<WebServer> server;
};

TEST_F(WebServerTest, ReadingsAreNullBeforeTheFirstReportThenTheNewest) {
    const Reply before = Get("/api/readings");
    EXPECT_THAT(before.head.toStdString(), StartsWith("HTTP/1.1 200 "));
    EXPECT_EQ(before.Header("Content-Type"), "application/json");
    EXPECT_EQ(before.Header("Cache-Control"), "no-store");
    EXPECT_EQ(before.Header("X-Content-Type-Options"), "nosniff");
    const QJsonObject empty = QJsonDocument::fromJson(before.body).object();
    for (const char* key :
         {"time", "station", "mag_v", "mag_v2", "mag_r", "mag_g", "mag_b", "freq_1", "freq_2",
          "freq_3", "freq_4", "temperature", "sky_temperature", "nelm", "cloud_cover",
          "sun_altitude", "moon_altitude", "moon_illumination", "age_s"}) {
        ASSERT_TRUE(empty.contains(key)) << key;
        EXPECT_TRUE(empty[key].isNull()) << key;
    }
    EXPECT_FALSE(empty["link_ok"].toBool());

    Observe();
    const QJsonObject json = Json("/api/readings");
    EXPECT_EQ(json["station"].toString(), "roof");
    EXPECT_EQ(json["mag_v"].toDouble(), 21.34);
    EXPECT_TRUE(json["mag_b"].isNull());
}

TEST_F(WebServerTest, HistoryHasEverySlotInUtcWithNullWhereNothingWasMeasured) {
    // Slot 0 never filled, slot 1 zeros at a start-up time, the newest a real point.
    days.slot[1].date = 46000;
    const QDateTime local = QDateTime(QDate(2026, 1, 15), QTime(23, 59), Qt::LocalTime);
    const double day = ToDayNumber(local);
    DaySlot& newest = days.Newest();
    newest.date = std::trunc(day);
    newest.time = day - std::trunc(day);
    newest.meanMv740 = 21.5f;
    newest.meanTIR = -14.25f;
    newest.meanMvB = std::numeric_limits<float>::quiet_NaN();
    newest.cloudIndex = 140;
    emit readings.ticked();

    const QJsonObject json = Json("/api/history");
    for (const char* key : {"time", "mag_v", "mag_v2", "mag_r", "mag_g", "mag_b", "temperature",
                            "sky_temperature", "nelm", "cloud_cover"}) {
        EXPECT_EQ(json[key].toArray().size(), 1440) << key;
    }
    const QJsonArray time = json["time"].toArray();
    EXPECT_TRUE(time[0].isNull());
    EXPECT_FALSE(time[1].isNull());
    EXPECT_TRUE(json["mag_v"].toArray()[1].isNull());
    EXPECT_EQ(time[1439].toString(), local.toUTC().toString("yyyy-MM-ddTHH:mm:ssZ"));
    EXPECT_EQ(json["mag_v"].toArray()[1439].toDouble(), 21.5);
    EXPECT_EQ(json["sky_temperature"].toArray()[1439].toDouble(), -14.25);
    EXPECT_EQ(json["temperature"].toArray()[1439].toDouble(), 0);
    EXPECT_TRUE(json["mag_b"].toArray()[1439].isNull());
    EXPECT_EQ(json["cloud_cover"].toArray()[1439].toDouble(), 100);
}

// The history's answer costs its making once a chart point, not once a request or a tick.
TEST_F(WebServerTest, HistoryIsMadeAgainOnlyWhenTheChartPointsChange) {
    const QByteArray before = server->Snapshots().Current()->historyJson;
    Observe();
    emit readings.ticked();
    QCoreApplication::processEvents();
    EXPECT_EQ(server->Snapshots().Current()->historyJson.constData(), before.constData());
    days.Newest().date = 46000;
    days.Newest().meanMv740 = 20.5f;
    emit readings.ticked();
    QCoreApplication::processEvents();
    EXPECT_NE(server->Snapshots().Current()->historyJson, before);
    EXPECT_EQ(Get("/api/history").body, server->Snapshots().Current()->historyJson);
}

TEST_F(WebServerTest, PageMetricsAndImages) {
    const Reply page = Get("/");
    EXPECT_EQ(page.Header("Content-Type"), "text/html; charset=utf-8");
    const std::string policy = page.Header("Content-Security-Policy").toStdString();
    EXPECT_THAT(policy, HasSubstr("default-src 'none'"));
    EXPECT_THAT(policy, HasSubstr("script-src 'sha256-"));
    // Style and script are inside the page, and nothing is fetched from elsewhere.
    EXPECT_THAT(page.body.toStdString(), Not(HasSubstr("/*SCRIPT*/")));
    EXPECT_THAT(page.body.toStdString(), HasSubstr("mag/arcsec²"));
    EXPECT_THAT(page.body.toStdString(), Not(HasSubstr("//cdn")));
    EXPECT_THAT(page.body.toStdString(), Not(HasSubstr("https://")));

    Observe();
    const Reply metrics = Get("/metrics");
    EXPECT_EQ(metrics.Header("Content-Type"), kMetricsContentType);
    EXPECT_EQ(metrics.body, MetricsText({readings, safety, status}));

    EXPECT_THAT(Get("/mag.jpg").head.toStdString(), StartsWith("HTTP/1.1 404 "));
    const QByteArray jpeg("\xff\xd8\xff\xe0 not really a picture\xff\xd9", 27);
    for (const char* name : {"mag.jpg", "temp.jpg"}) {
        QFile file(work.Path() + '/' + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(jpeg + name);
    }
    const Reply image = Get("/temp.jpg");
    EXPECT_EQ(image.Header("Content-Type"), "image/jpeg");
    EXPECT_EQ(image.body, jpeg + "temp.jpg");
}

TEST_F(WebServerTest, OnlyTheKnownPathsAndMethods) {
    for (const char* path : {"/nothing", "/api/readings/", "/../mag.jpg", "/index.html"}) {
        EXPECT_THAT(Get(path).head.toStdString(), StartsWith("HTTP/1.1 404 ")) << path;
    }
    const Reply post = Get("/api/readings", "POST");
    EXPECT_THAT(post.head.toStdString(), StartsWith("HTTP/1.1 405 "));
    EXPECT_EQ(post.Header("Allow"), "GET, HEAD");
    const Reply head = Get("/api/readings", "HEAD");
    EXPECT_THAT(head.head.toStdString(), StartsWith("HTTP/1.1 200 "));
    EXPECT_GT(head.Header("Content-Length").toInt(), 0);
    EXPECT_TRUE(head.body.isEmpty());
}

void WriteFile(const QString& name, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(name).path());
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST_F(WebServerTest, NightsNewestFirstWithNullForWhatWasNotFound) {
    EXPECT_EQ(Get("/api/nights").body, "[]");

    WriteFile(work.Path() + "/night/summary.csv",
              "date,darkest_740nm,darkest_640nm,darkest_red,darkest_green,darkest_blue,"
              "dark_740nm,dark_640nm,dark_red,dark_green,dark_blue,cloudy_share,records\n"
              "2024-03-10,21.52,20.90,20.31,19.02,18.80,21.40,20.85,20.20,18.90,18.70,0.125,612\n"
              "2024-03-11,21.1,x,20,19,18,21,20,20,18,18,0,600\n"
              "2024-03-12,21,20\n"
              "2024-02-30,21,20,20,19,18,21,20,20,18,18,0,600\n"
              "2024-06-20,20.01,19.5,19.4,18.3,18.1,,,,,,1,288\n"
              "2024-01-05,,,,,,,,,,,0.5,300,sqm-1,20.75,20.50\n");
    const Reply reply = Get("/api/nights");
    EXPECT_EQ(reply.Header("Content-Type"), "application/json");
    const QJsonArray nights = QJsonDocument::fromJson(reply.body).array();
    ASSERT_EQ(nights.size(), 3);
    const QJsonObject summer = nights[0].toObject();
    EXPECT_EQ(summer["date"].toString(), "2024-06-20");
    EXPECT_EQ(summer["darkest_blue"].toDouble(), 18.1);
    EXPECT_TRUE(summer["dark_740nm"].isNull());
    EXPECT_TRUE(summer["dark_blue"].isNull());
    const QJsonObject spring = nights[1].toObject();
    EXPECT_EQ(spring["date"].toString(), "2024-03-10");
    EXPECT_EQ(spring["darkest_740nm"].toDouble(), 21.52);
    EXPECT_EQ(spring["cloudy_share"].toDouble(), 0.125);
    EXPECT_EQ(spring["records"].toInt(), 612);
    EXPECT_EQ(spring.size(), 13);  // a line from before the instrument was written
    const QJsonObject other = nights[2].toObject();
    EXPECT_EQ(other["instrument"].toString(), "sqm-1");
    EXPECT_EQ(other["darkest_msas"].toDouble(), 20.75);

    const QJsonArray newest = QJsonDocument::fromJson(Get("/api/nights?limit=1").body).array();
    ASSERT_EQ(newest.size(), 1);
    EXPECT_EQ(newest[0].toObject()["date"].toString(), "2024-06-20");
    EXPECT_THAT(Get("/api/nights", "POST").head.toStdString(), StartsWith("HTTP/1.1 405 "));
}

TEST_F(WebServerTest, NightChartsOnlyByTheirExactNames) {
    const QByteArray png("\x89PNG\r\n\x1a\n not really a picture", 29);
    WriteFile(work.Path() + "/night/2024-03-10.png", png);
    WriteFile(work.Path() + "/night/summary.csv", "date\n");
    WriteFile(work.Path() + "/secret.txt", "secret");

    const Reply chart = Get("/night/2024-03-10.png");
    EXPECT_THAT(chart.head.toStdString(), StartsWith("HTTP/1.1 200 "));
    EXPECT_EQ(chart.Header("Content-Type"), "image/png");
    EXPECT_THAT(chart.Header("Cache-Control").toStdString(), HasSubstr("max-age="));
    EXPECT_EQ(chart.body, png);

    for (const char* path :
         {"/night/2024-03-11.png", "/night/summary.csv", "/night/", "/night/../secret.txt",
          "/night/..%2fsecret.txt", "/night/%2e%2e%2fsecret.txt", "/night/%2E%2E/secret.txt",
          "/night/2024-03-10.png/../../secret.txt", "/night/2024-03-10.PNG", "/night/2024-3-10.png",
          "/night/2024-03-10.png.bak", "/night/x2024-03-10.png", "/night/2024-02-30.png",
          "/night/2024-03-10%00.png",
          "/night/\xd9\xa2"
          "024-03-10.png"}) {
        const Reply reply = Get(path);
        EXPECT_THAT(reply.head.toStdString(), StartsWith("HTTP/1.1 404 ")) << path;
        EXPECT_THAT(reply.body.toStdString(), Not(HasSubstr("secret"))) << path;
    }
}

TEST_F(WebServerTest, NightsPageLinkedBothWays) {
    const Reply page = Get("/nights");
    EXPECT_EQ(page.Header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_THAT(page.Header("Content-Security-Policy").toStdString(),
                HasSubstr("script-src 'sha256-"));
    const std::string body = page.body.toStdString();
    EXPECT_THAT(body, Not(HasSubstr("/*STYLE*/")));
    EXPECT_THAT(body, HasSubstr("Dark-sky median (Sun < −18°, Moon down)"));
    EXPECT_THAT(body, HasSubstr("href=\"/\""));
    EXPECT_THAT(Get("/").body.toStdString(), HasSubstr("href=\"/nights\""));
}

TEST_F(WebServerTest, OversizedAndSlowRequestsAreCutOffWithoutHoldingUpOthers) {
    auto big = Connect();
    const Reply tooBig = Exchange(
        *big, "GET / HTTP/1.1\r\nHost: x\r\nX-Fill: " + QByteArray(2000, 'a') + "\r\n\r\n");
    EXPECT_THAT(tooBig.head.toStdString(), StartsWith("HTTP/1.1 431 "));
    EXPECT_TRUE(QTest::qWaitFor([&] { return big->state() == QTcpSocket::UnconnectedState; }));

    // Half a request: the others are served meanwhile, and it is cut off at its deadline.
    auto slow = Connect();
    slow->write("GET /api/readings HTTP/1.1\r\nHost: x\r\n");
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_THAT(Get("/api/readings").head.toStdString(), StartsWith("HTTP/1.1 200 "));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return slow->state() == QTcpSocket::UnconnectedState; }, 3000));
    EXPECT_GE(elapsed.elapsed(), limits.timeoutSeconds * 1000 - 200);
    EXPECT_EQ(slow->bytesAvailable(), 0);
}

TEST_F(WebServerTest, KeepAliveUntilIdleAndNoMoreThanTheLimitOfConnections) {
    auto kept = Connect();
    const QByteArray request = "GET /api/readings HTTP/1.1\r\nHost: x\r\n\r\n";
    EXPECT_THAT(Exchange(*kept, request).head.toStdString(), StartsWith("HTTP/1.1 200 "));
    EXPECT_THAT(Exchange(*kept, request).head.toStdString(), StartsWith("HTTP/1.1 200 "));

    auto second = Connect();
    auto third = Connect();
    auto fourth = Connect();
    const Reply refused = Exchange(*fourth, request);
    EXPECT_THAT(refused.head.toStdString(), StartsWith("HTTP/1.1 503 "));
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->OpenConnections() == 3; }));

    // Idle connections close; then there is room again.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return kept->state() == QTcpSocket::UnconnectedState; }, 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->OpenConnections() == 0; }, 3000));
    EXPECT_THAT(Get("/api/readings").head.toStdString(), StartsWith("HTTP/1.1 200 "));
}

TEST_F(WebServerTest, OneClientCannotTakeEveryConnection) {
    limits.maxConnectionsPerClient = 2;
    server = std::make_unique<WebServer>(StationView{readings, safety, status}, days, work.Dir(),
                                         limits);
    QString error;
    ASSERT_TRUE(server->Listen(QHostAddress::LocalHost, 0, error));
    const QByteArray request = "GET /api/readings HTTP/1.1\r\nHost: x\r\n\r\n";

    auto first = Connect();
    auto second = Connect();
    auto third = Connect();
    EXPECT_THAT(Exchange(*third, request).head.toStdString(), StartsWith("HTTP/1.1 503 "));
    // Another address still gets in.
    auto other = Connect(QHostAddress(QStringLiteral("127.0.0.2")));
    EXPECT_THAT(Exchange(*other, request).head.toStdString(), StartsWith("HTTP/1.1 200 "));
    EXPECT_THAT(Exchange(*first, request).head.toStdString(), StartsWith("HTTP/1.1 200 "));
}

TEST_F(WebServerTest, AConnectionThatSendsNothingIsClosedSoon) {
    auto silent = Connect();
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return silent->state() == QTcpSocket::UnconnectedState; }, 3000));
    EXPECT_GE(elapsed.elapsed(), limits.timeoutSeconds * 1000 - 50);
    EXPECT_LT(elapsed.elapsed(), limits.timeoutSeconds * 1000 + 1000);
}

TEST_F(WebServerTest, ATlsHandshakeOnTheHttpPortIsClosedAtOnce) {
    auto tls = Connect();
    QElapsedTimer elapsed;
    elapsed.start();
    tls->write(QByteArray::fromHex("160301007a0100007603035f"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return tls->state() == QTcpSocket::UnconnectedState; }));
    EXPECT_LT(elapsed.elapsed(), limits.timeoutSeconds * 1000 / 2);
    EXPECT_EQ(tls->bytesAvailable(), 0);
}

TEST_F(WebServerTest, TheRefusalEndsCleanlyEvenWhenTheRequestComesAfterIt) {
    limits.maxConnections = 1;
    server = std::make_unique<WebServer>(StationView{readings, safety, status}, days, work.Dir(),
                                         limits);
    QString error;
    ASSERT_TRUE(server->Listen(QHostAddress::LocalHost, 0, error));
    auto held = Connect();

    // A plain socket, so that nothing reads the 503 before the request goes out.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(server->Port());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    pollfd readable{fd, POLLIN, 0};
    ASSERT_TRUE(QTest::qWaitFor([&] { return ::poll(&readable, 1, 0) == 1; }));
    const QByteArray request = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_EQ(::send(fd, request.constData(), request.size(), 0), request.size());

    // The request must not turn the close into a reset: the 503, then the end of the stream.
    QByteArray got;
    int end = -1;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        char buffer[512];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) got.append(buffer, n);
        if (n > 0 || (n < 0 && errno == EAGAIN)) return false;
        end = n == 0 ? 0 : errno;
        return true;
    }));
    ::close(fd);
    EXPECT_THAT(got.toStdString(), StartsWith("HTTP/1.1 503 "));
    EXPECT_EQ(end, 0) << std::strerror(end);
}

TEST_F(WebServerTest, ABodyAwaitingContinueIsAskedForThenReachesTheMountedHandler) {
    server->Mount("/echo", [](const WebRequest& request) {
        return WebReply{200, "OK", "text/plain", request.body};
    });
    auto socket = Connect();
    socket->write(
        "PUT /echo HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\nContent-Length: 5\r\n\r\n");
    QByteArray interim;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        interim += socket->readAll();
        return interim.endsWith("\r\n\r\n");
    }));
    EXPECT_EQ(interim, "HTTP/1.1 100 Continue\r\n\r\n");
    const Reply reply = Exchange(*socket, "hello");
    EXPECT_THAT(reply.head.toStdString(), StartsWith("HTTP/1.1 200 "));
    EXPECT_EQ(reply.body, "hello");
}

// Each of the server's threads takes connections itself: one held up by a slow answer leaves
// the next client to another.
TEST_F(WebServerTest, AClientWaitingForASlowAnswerHoldsUpNoOtherClient) {
    std::atomic<bool> entered = false;
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    server->Mount("/slow", [&](const WebRequest&) {
        entered = true;
        released.wait_for(std::chrono::seconds(10));
        return WebReply{200, "OK", "text/plain", "late"};
    });
    auto slow = Connect();
    slow->write("GET /slow HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return entered.load(); }));
    EXPECT_THAT(Get("/api/readings").head.toStdString(), StartsWith("HTTP/1.1 200 "));
    release.set_value();
    EXPECT_EQ(Exchange(*slow, {}).body, "late");
}

TEST_F(WebServerTest, AStreamedBodyIsReadOnlyForAGetAndBreaksOffWhenItsSourceFails) {
    std::atomic<int> calls = 0;
    server->Mount("/stream", [&calls](const WebRequest& request) {
        WebReply reply = TextReply(200, "OK", {});
        auto pieces = std::make_shared<QList<QByteArray>>(QList<QByteArray>{"ab", "cd"});
        const bool breaks = request.path.endsWith(QLatin1String("broken"));
        reply.source = [&calls, pieces, breaks]() -> std::optional<QByteArray> {
            ++calls;
            if (!pieces->isEmpty()) return pieces->takeFirst();
            if (breaks) return std::nullopt;
            return QByteArray();
        };
        return reply;
    });
    struct Case {
        const char* request;
        QByteArray body;  // unchunked where it came in chunks
        bool whole;       // it came in chunks, the last one too
        bool closed;
        int calls;
    };
    const Case cases[] = {
        {"GET /stream/ok HTTP/1.1\r\nHost: x\r\n\r\n", "abcd", true, false, 3},
        {"GET /stream/ok HTTP/1.0\r\n\r\n", "abcd", false, true, 3},
        {"HEAD /stream/ok HTTP/1.1\r\nHost: x\r\n\r\n", "", false, true, 0},
        {"GET /stream/broken HTTP/1.1\r\nHost: x\r\n\r\n", "abcd", false, true, 3},
    };
    for (const Case& c : cases) {
        calls = 0;
        auto socket = Connect();
        socket->write(c.request);
        QByteArray data;
        Reply reply;
        EXPECT_TRUE(QTest::qWaitFor([&] {
            data += socket->readAll();
            reply.closed = socket->state() == QTcpSocket::UnconnectedState;
            const qsizetype end = data.indexOf("\r\n\r\n");
            reply.head = data.left(end);
            reply.body = data.mid(end + 4);
            return reply.closed || (end >= 0 && test::Unchunk(reply.body).whole);
        })) << c.request;
        const bool isChunked = reply.Header("Transfer-Encoding") == "chunked";
        const test::Unchunked body =
            isChunked ? test::Unchunk(reply.body) : test::Unchunked{reply.body, false};
        EXPECT_EQ(body.body, c.body) << c.request;
        EXPECT_EQ(body.whole, c.whole) << c.request;
        EXPECT_EQ(reply.closed, c.closed) << c.request;
        EXPECT_EQ(calls, c.calls) << c.request;
    }
}

// The process's open-files limit lowered for a while, and put back.
class FewerOpenFiles {
public:
    explicit FewerOpenFiles(rlim_t limit) {
        getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = limit;
        ok_ = setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    ~FewerOpenFiles() { Restore(); }
    void Restore() { setrlimit(RLIMIT_NOFILE, &saved_); }
    bool ok() const { return ok_; }

private:
    rlimit saved_{};
    bool ok_ = false;
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST_F(WebServerTest, OutOfDescriptorsItWaitsWithoutSpinningAndAcceptsAgain) {
    // Qt's listener reports the lack of a descriptor only when it never accepted before; after
    // that it keeps quiet and would try again and again.
    for (const bool acceptedBefore : {false, true}) {
        SCOPED_TRACE(acceptedBefore ? "after a first connection" : "on a new listener");
        std::vector<std::string> log;
        server = std::make_unique<WebServer>(StationView{readings, safety, status}, days,
                                             work.Dir(), limits);
        server->LogTo(test::KeepIn(log));
        QString error;
        ASSERT_TRUE(server->Listen(QHostAddress::LocalHost, 0, error));
        if (acceptedBefore) {
            EXPECT_THAT(Get("/api/readings").head.toStdString(), StartsWith("HTTP/1.1 200 "));
            ASSERT_TRUE(QTest::qWaitFor([&] { return server->OpenConnections() == 0; }));
        }

        // The client's socket exists before the limit leaves no descriptor for the server.
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ASSERT_GE(fd, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(server->Port());
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // The lowest free descriptor's number as the limit: no new descriptor can be had.
        const int lowestFree = ::dup(fd);
        ::close(lowestFree);
        FewerOpenFiles fewer(static_cast<rlim_t>(lowestFree));
        ASSERT_TRUE(fewer.ok());
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
        ASSERT_TRUE(QTest::qWaitFor([&] { return log.size() == 1; }, 3000));
        // No matcher here: with no descriptor to spare, the sanitizers' runtime cannot check
        // a matcher's type and reports it as undefined behaviour.
        EXPECT_NE(log[0].find("cannot accept connections"), std::string::npos) << log[0];
        // A window to measure the CPU time in, not a wait for anything.
        const double before = CpuSeconds();
        QTest::qWait(500);
        EXPECT_LT(CpuSeconds() - before, 0.2) << "no spinning while descriptors lack";
        EXPECT_EQ(server->OpenConnections(), 0);

        fewer.Restore();
        EXPECT_TRUE(QTest::qWaitFor([&] { return server->OpenConnections() == 1; }, 3000));
        ASSERT_EQ(log.size(), 2u) << log.back();
        EXPECT_THAT(log[1], HasSubstr("accepts connections again"));
        ::close(fd);
    }
}

}  // namespace
}  // namespace noxa
