#include "archive/archive_counters.h"
#include "archive/fleet/archive_reader.h"
#include "archive/fleet/fleet_json.h"
#include "archive/fleet/fleet_web_server.h"
#include "archive/fleet/last_night_medians.h"
#include "archive/fleet/records_output.h"
#include "archive/fleet/records_pages.h"
#include "fleet_database.h"
#include "recording/data_file.h"
#include "support/http_chunks.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"
#include "time/station_clock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTest>
#include <QTimeZone>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <functional>
#include <tuple>

namespace noxa {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr qint64 kMinute = 60'000;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kStaleSeconds = 900;
const QDateTime kNoon(QDate(2026, 12, 7), QTime(12, 0), QTimeZone::utc());

std::string Text(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

struct Answer {
    int status = 0;
    QByteArray head;
    QByteArray body;
};

class FleetWebTest : public ::testing::Test {
protected:
    FleetWebTest() {
        db = test::CreateArchive(work.Path() + "/archive.db", "fleet-test");
        db.transaction();
        const qint64 now = kNoon.toMSecsSinceEpoch();
        test::AddStation(db, {"roof", "Roof", "online", R"({"safe":true,"mag_v":21.5})"});
        test::AddNight(db, "roof", now - 24 * kHour, 15.0);
        test::AddNight(db, "roof", now - 2 * kMinute, 21.0);
        test::AddStation(db, {"alpha", "Alpha hill", "offline", R"({"safe":true,"mag_v":null})"});
        test::AddRecord(db, "alpha", {now - 3 * kHour, 18.25, 5.0, -2.0, std::nullopt});
        test::AddStation(db, {"new", std::nullopt, "", ""});
        db.commit();
        std::vector<StationRow> rows;
        QString error;
        EXPECT_TRUE(ArchiveReader("fleet-test").Stations(rows, error)) << error.toStdString();
        board.Load(rows);
        EXPECT_TRUE(LastNightMedians("fleet-test", board, clock).Refresh(1000));
        server = std::make_unique<FleetWebServer>("fleet-test", board, counters, kStaleSeconds,
                                                  test::KeepIn(log), FleetWebLimits(), &clock);
        EXPECT_TRUE(server->Listen(QHostAddress::LocalHost, 0, error)) << error.toStdString();
    }
    ~FleetWebTest() override {
        server.reset();
        db.close();
        db = {};
        QSqlDatabase::removeDatabase("fleet-test");
    }

    Answer Get(const QByteArray& path, const QByteArray& method = "GET") {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, server->Port());
        socket.write(method + ' ' + path +
                     " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
        QByteArray data;
        std::ignore = QTest::qWaitFor(
            [&] {
                data += socket.readAll();
                return socket.state() == QTcpSocket::UnconnectedState;
            },
            10000);
        data += socket.readAll();
        const qsizetype end = data.indexOf("\r\n\r\n");
        const QByteArray head = data.left(end), body = data.mid(end + 4);
        const bool chunked = head.contains("Transfer-Encoding: chunked");
        return {data.mid(9, 3).toInt(), head, chunked ? test::Unchunk(body).body : body};
    }
    QJsonArray JsonArray(const QByteArray& path) {
        const Answer a = Get(path);
        EXPECT_EQ(a.status, 200) << a.body.toStdString();
        return QJsonDocument::fromJson(a.body).array();
    }

    test::ScopedWorkDir work;
    QSqlDatabase db;
    ManualClock clock{kNoon};
    StationBoard board;
    ArchiveCounters counters;
    std::vector<std::string> log;
    std::unique_ptr<FleetWebServer> server;
};

TEST_F(FleetWebTest, StationsAreSortedByNameWithTheirSummaries) {
    const QJsonArray stations = JsonArray("/api/stations");
    ASSERT_EQ(stations.size(), 3);
    const QJsonObject alpha = stations[0].toObject(), fresh = stations[1].toObject(),
                      roof = stations[2].toObject();
    EXPECT_EQ(Text(roof), Text(QJsonObject{{"station", "roof"},
                                           {"name", "Roof"},
                                           {"availability", "online"},
                                           {"last_end", "2026-12-07T11:58:00.000Z"},
                                           {"age_seconds", 120},
                                           {"safe", true},
                                           {"mag_v", 21.5},
                                           {"last_night_median", 21},
                                           {"records", 288},
                                           {"stale", false},
                                           {"condition", "safe"},
                                           {"unsafe_reason", QJsonValue::Null},
                                           {"link_ok", QJsonValue::Null},
                                           {"through", QJsonValue::Null}}));
    // Silent for three hours: stale, its old verdict and brightness unknown now.
    EXPECT_EQ(alpha["station"].toString(), "alpha");
    EXPECT_EQ(alpha["stale"], true);
    EXPECT_EQ(alpha["safe"], QJsonValue::Null);
    EXPECT_EQ(alpha["mag_v"], QJsonValue::Null);
    EXPECT_EQ(alpha["last_night_median"], QJsonValue::Null);
    EXPECT_EQ(Text(fresh), Text(QJsonObject{{"station", "new"},
                                            {"name", QJsonValue::Null},
                                            {"availability", QJsonValue::Null},
                                            {"last_end", QJsonValue::Null},
                                            {"age_seconds", QJsonValue::Null},
                                            {"safe", QJsonValue::Null},
                                            {"mag_v", QJsonValue::Null},
                                            {"last_night_median", QJsonValue::Null},
                                            {"records", 0},
                                            {"stale", true},
                                            {"condition", "no_records"},
                                            {"unsafe_reason", QJsonValue::Null},
                                            {"link_ok", QJsonValue::Null},
                                            {"through", QJsonValue::Null}}));
}

TEST_F(FleetWebTest, RecordsAsJsonCarryEveryKeyOfTheRecord) {
    const qint64 to = kNoon.toMSecsSinceEpoch() - 2 * kMinute;
    const QJsonArray records = JsonArray("/api/records?station=roof&from=2026-12-07T11:00:00Z&to=" +
                                         QByteArray::number(to));
    ASSERT_EQ(records.size(), 6);  // 11:08 to 11:58, two minutes before noon
    const QJsonObject last = records.last().toObject();
    EXPECT_THAT(
        last.keys(),
        ElementsAre("end", "freq_b", "freq_g", "freq_r", "freq_v", "freq_v2", "mag_b", "mag_g",
                    "mag_r", "mag_v", "mag_v2", "moon_altitude", "moon_illumination",
                    "previous_end", "reports", "reports_b", "reports_g", "reports_r",
                    "sky_temperature", "start", "station", "sun_altitude", "temperature"));
    EXPECT_EQ(last["station"].toString(), "Roof");
    EXPECT_EQ(last["end"].toString(), "2026-12-07T11:58:00.000Z");
    EXPECT_EQ(last["start"].toString(), "2026-12-07T11:57:00.000Z");
    EXPECT_EQ(last["mag_v"], 10);
    EXPECT_EQ(last["reports"], 3);
    EXPECT_EQ(last["temperature"], QJsonValue::Null);
    EXPECT_EQ(last["previous_end"], QJsonValue::Null);
}

TEST_F(FleetWebTest, RecordsAsCsvHaveTheDataFileColumnsInUtc) {
    const Answer csv = Get("/api/records?station=alpha&format=csv");
    EXPECT_THAT(csv.head, HasSubstr("Content-Type: text/csv"));
    const QList<QByteArray> lines = csv.body.split('\n');
    ASSERT_EQ(lines.size(), 3);
    QByteArray dataFileColumns = QByteArray(kDataFileColumnsLine).mid(2).simplified();
    dataFileColumns.replace("\t", "").replace(' ', ',');
    EXPECT_EQ(lines[0], dataFileColumns + "\r");
    EXPECT_EQ(lines[1], "2026-12-07,09:00:00,,18.25,,,,,,,,,,\r");
}

TEST_F(FleetWebTest, BadParametersAreRefusedAndAnUnknownStationIsNotFound) {
    const std::pair<const char*, int> cases[] = {
        {"/api/records", 400},
        {"/api/records?station=roof&from=yesterday", 400},
        {"/api/records?station=roof&from=2026-12-07T10:00:00Z&to=2026-12-07T09:00:00Z", 400},
        {"/api/records?station=roof&to=-5", 400},
        {"/api/records?station=roof&format=xml", 400},
        {"/api/records?station=nowhere", 404},
        {"/api/nothing", 404},
    };
    for (const auto& [path, status] : cases) EXPECT_EQ(Get(path).status, status) << path;
}

TEST_F(FleetWebTest, ReaderSaysWhereTheRecordsLeftOutBegin) {
    const ArchiveReader reader("fleet-test");
    std::vector<qint64> ends;
    std::optional<qint64> next;
    QString error;
    const qint64 now = kNoon.toMSecsSinceEpoch();
    ASSERT_TRUE(reader.Records(
        "roof", now - kHour, now, 2,
        [&](const QSqlQuery& row) { ends.push_back(row.value(1).toLongLong()); }, next, error));
    EXPECT_THAT(ends, ElementsAre(now - 52 * kMinute, now - 42 * kMinute));
    EXPECT_EQ(next, now - 32 * kMinute);
    std::optional<qint64> end;
    ASSERT_TRUE(reader.EndAfter("roof", now - kHour, now, 2, end, error));
    EXPECT_EQ(end, next);
    ASSERT_TRUE(reader.EndAfter("roof", now - kHour, now, 6, end, error));
    EXPECT_EQ(end, std::nullopt);
}

TEST_F(FleetWebTest, PagesMakeTheBodyOfOneReadByteForByte) {
    const ArchiveReader reader("fleet-test");
    const qint64 now = kNoon.toMSecsSinceEpoch();
    struct Case {
        bool csv;
        qint64 from, to;
        int pieces;  // 288 records, 7 a page
    };
    for (const Case& c : {Case{false, 0, now, 42}, Case{true, 0, now, 42}, Case{false, 0, 1, 1}}) {
        const auto writer = [&c]() -> std::unique_ptr<RecordsWriter> {
            if (c.csv) return std::make_unique<RecordsCsvWriter>();
            return std::make_unique<RecordsJsonWriter>("Roof");
        };
        const auto whole = writer();
        std::optional<qint64> next;
        QString error;
        ASSERT_TRUE(reader.Records(
            "roof", c.from, c.to, kMaxRecordsPerAnswer,
            [&](const QSqlQuery& row) { whole->Add(row); }, next, error));
        whole->Finish();
        RecordsPages pages(
            reader, "roof", c.from, c.to, writer(), [](const QString&) { ADD_FAILURE(); }, 7);
        QByteArray paged;
        int pieces = 0;
        for (QByteArray piece = pages.Next().value_or(""); !piece.isEmpty();
             piece = pages.Next().value_or("")) {
            paged += piece;
            ++pieces;
        }
        EXPECT_EQ(paged, whole->TakeWritten()) << c.csv << ' ' << c.to;
        EXPECT_EQ(pieces, c.pieces) << c.csv << ' ' << c.to;
    }
}

TEST_F(FleetWebTest, APageTheDatabaseCannotReadBreaksTheBodyOff) {
    const ArchiveReader reader("fleet-test");
    std::vector<QString> failures;
    RecordsPages pages(
        reader, "roof", 0, kNoon.toMSecsSinceEpoch(), std::make_unique<RecordsCsvWriter>(),
        [&](const QString& error) { failures.push_back(error); }, 7);
    ASSERT_TRUE(pages.Next());
    // Between pages no read is open: the table can be renamed.
    ASSERT_TRUE(QSqlQuery(db).exec("ALTER TABLE records RENAME TO records_away"));
    EXPECT_EQ(pages.Next(), std::nullopt);
    EXPECT_EQ(failures.size(), 1u);
}

// A client of HTTP/1.1 that keeps its connection and takes in a little at a time.
class SlowClient {
public:
    explicit SlowClient(quint16 port) {
        const int small = 4096;
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        const timeval wait{10, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~SlowClient() { close(fd_); }

    bool Send(const QByteArray& request) {
        return connected_ && send(fd_, request.constData(), request.size(), 0) == request.size();
    }
    // Reads until `enough` holds of what came, or the server closes or says nothing for 10 s.
    bool ReadUntil(const std::function<bool(const QByteArray&)>& enough) {
        char buffer[4096];
        while (!enough(data)) {
            const ssize_t count = recv(fd_, buffer, sizeof buffer, 0);
            if (count <= 0) return false;
            data.append(buffer, count);
        }
        return true;
    }

    QByteArray data;

private:
    const int fd_ = socket(AF_INET, SOCK_STREAM, 0);
    bool connected_ = false;
};

TEST_F(FleetWebTest, AClientThatReadsSlowlyGetsItAllWhileTheArchiveCommits) {
    // Some 10 MB of JSON, more than the sockets between hold.
    db.transaction();
    const qint64 first = kNoon.toMSecsSinceEpoch() - 30 * 24 * kHour;
    for (qint64 i = 0; i < 20000; ++i)
        test::AddRecord(db, "alpha", {first + i * kMinute, 20.5, -30.0, -5.0, 3.5});
    db.commit();
    SlowClient client(server->Port());
    ASSERT_TRUE(client.Send("GET /api/records?station=alpha&from=0 HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_TRUE(client.ReadUntil([](const QByteArray& data) { return data.size() > 100'000; }));
    // While the client waits, the archive stores a record: no read holds the database.
    ASSERT_TRUE(db.transaction());
    test::AddRecord(db, "alpha", {kNoon.toMSecsSinceEpoch() - kMinute, 21.0, -30.0, -5.0, 3.5});
    ASSERT_TRUE(db.commit()) << db.lastError().text().toStdString();
    ASSERT_TRUE(client.ReadUntil([](const QByteArray& data) {
        return data.endsWith("\r\n0\r\n\r\n");
    })) << client.data.size()
        << " bytes came";
    const test::Unchunked body =
        test::Unchunk(client.data.mid(client.data.indexOf("\r\n\r\n") + 4));
    EXPECT_TRUE(body.whole);
    // The record stored meanwhile is in its page.
    EXPECT_EQ(QJsonDocument::fromJson(body.body).array().size(), 20002);
}

TEST_F(FleetWebTest, AnAnswerHoldsNoMoreThanTheLimitAndSaysWhereTheNextBegins) {
    db.transaction();
    const qint64 first = kNoon.toMSecsSinceEpoch() - 100 * 24 * kHour;
    for (qint64 i = 0; i <= kMaxRecordsPerAnswer; ++i)
        test::AddRecord(db, "alpha", {first + i * kMinute, 20.5, -30.0, -5.0, 3.5});
    db.commit();
    const QByteArray next = IsoUtc(first + kMaxRecordsPerAnswer * kMinute);
    for (const QByteArray method : {"GET", "HEAD"}) {
        const Answer csv = Get("/api/records?station=alpha&from=0&format=csv", method);
        EXPECT_THAT(csv.head, HasSubstr("X-Records-Limit: 100000")) << method.data();
        EXPECT_THAT(csv.head, HasSubstr("X-Records-Next-From: " + next)) << method.data();
        // The data file's header line, then the records.
        EXPECT_EQ(csv.body.count('\n'), method == "GET" ? kMaxRecordsPerAnswer + 1 : 0);
    }
}

TEST_F(FleetWebTest, MetricsAreWellFormedWithAHistogramAndNoUnknownSafety) {
    counters.recordsArchived = 7;
    counters.commitCounts[3] = 2;
    counters.commitCount = 3;
    counters.commitSecondsSum = 0.5;
    // The web side reads a copy of the counters, taken twice a second.
    Answer metrics;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        metrics = Get("/metrics");
        return metrics.body.contains("noxa_archive_records_total 7");
    }));
    EXPECT_THAT(metrics.head, HasSubstr("text/plain; version=0.0.4"));
    const QRegularExpression sample(R"(^[a-z_]+(\{[a-z]+="[^"]*"\})? (-?[0-9.e+-]+|\+Inf|NaN)$)");
    QStringList samples;
    for (const QByteArray& line : metrics.body.trimmed().split('\n')) {
        if (line.startsWith("# HELP ") || line.startsWith("# TYPE ")) continue;
        EXPECT_TRUE(sample.match(QString::fromUtf8(line)).hasMatch()) << line.toStdString();
        samples += QString::fromUtf8(line);
    }
    for (const char* expected :
         {"noxa_archive_records_total 7", "noxa_archive_commit_seconds_bucket{le=\"0.01\"} 2",
          "noxa_archive_commit_seconds_bucket{le=\"+Inf\"} 3",
          "noxa_archive_commit_seconds_sum 0.5",
          "noxa_archive_station_records{station=\"roof\"} 288",
          "noxa_archive_station_last_record_age_seconds{station=\"roof\"} 120",
          "noxa_archive_station_online{station=\"alpha\"} 0",
          "noxa_archive_station_safe{station=\"roof\"} 1",
          "noxa_archive_station_stale_seconds{station=\"new\"} 900"})
        EXPECT_TRUE(samples.contains(expected)) << expected;
    EXPECT_FALSE(metrics.body.contains("noxa_archive_station_safe{station=\"alpha\"}"));
}

TEST_F(FleetWebTest, DatabaseThatCannotBeReadIsAnsweredUnavailableAndLoggedOnce) {
    // The web side closes the connection after a failure and opens it again on the next
    // request.
    const auto rename = [this](const char* from, const char* to) {
        ASSERT_TRUE(db.isOpen() || db.open());
        ASSERT_TRUE(
            QSqlQuery(db).exec(QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(from, to)));
    };
    rename("stations", "stations_away");
    EXPECT_EQ(Get("/api/records?station=roof").status, 503);
    // The stations are held in memory: what was read stays true.
    EXPECT_EQ(Get("/api/stations").status, 200);
    EXPECT_EQ(Get("/metrics").status, 200);
    rename("stations_away", "stations");
    EXPECT_EQ(Get("/api/records?station=roof").status, 200);
    EXPECT_THAT(log, ElementsAre(HasSubstr("cannot be read"), HasSubstr("can be read again")));
}

TEST_F(FleetWebTest, PageInlinesTheNightModeAndItsOwnScript) {
    const Answer page = Get("/");
    EXPECT_EQ(page.status, 200);
    EXPECT_THAT(page.head, HasSubstr("Content-Security-Policy: default-src 'none'"));
    EXPECT_THAT(page.body.toStdString(), HasSubstr(":root.night"));
    EXPECT_THAT(page.body.toStdString(), HasSubstr("/api/stations"));
}

}  // namespace
}  // namespace noxa
