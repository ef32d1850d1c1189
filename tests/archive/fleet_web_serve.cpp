// Serves a made-up archive for the fleet page's browser test, in an SQLite archive made in the
// folder given: ten stations, five of them silent (offline, gone without a word, never heard
// from, hung, one whose instrument fell silent), two under cloud, one with a gap it is still
// filling; and with a station count over ten as many more, in every condition.
// Usage: fleet_web_serve <folder> <port> [stations]. Prints the log, "Fleet web on <url>" once
// it listens on 127.0.0.1.
#include "archive/archive_counters.h"
#include "archive/fleet/fleet_web.h"
#include "archive/fleet/last_night_medians.h"
#include "fleet_database.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSqlQuery>

#include <cstdio>

namespace {

using namespace noxa;

constexpr qint64 kMinute = 60'000;
constexpr char kSafe[] = R"({"safe":true,"link_ok":true,"mag_v":21.3})";
constexpr char kCloudy[] =
    R"j({"safe":false,"link_ok":true,"mag_v":17.1,"unsafe_reason":"too cloudy (87 % cover)"})j";

void AddTen(QSqlDatabase& db, qint64 now) {
    test::AddStation(db, {"roof", "Roof", "online", kSafe});
    test::AddNight(db, "roof", now - kMinute, 21.0);
    test::AddStation(db, {"garden", "Garden", "online", kSafe});
    test::AddRecord(db, "garden", {now - kMinute, 21.1, -30.0, -5.0, 4.0});
    test::AddStation(db, {"cloud", "Cloud Hill", "online", kCloudy});
    test::AddRecord(db, "cloud", {now - kMinute, 17.1, -30.0, -5.0, 4.0});
    test::AddStation(db, {"mist", "Mist Valley", "online",
                          R"({"safe":false,"link_ok":true,"unsafe_reason":"too bright"})"});
    test::AddRecord(db, "mist", {now - 2 * kMinute, 16.0, -30.0, -5.0, 4.0});
    test::AddStation(db, {"gap", "Gap Ridge", "online", kSafe});
    test::AddRecord(db, "gap", {now - 40 * kMinute, 21.0, -30.0, -5.0, 4.0});
    test::AddRecord(db, "gap", {now - kMinute, 21.0, -30.0, -5.0, 4.0});
    test::AddStation(db, {"alpha", "Alpha hill", "offline", R"({"safe":false})"});
    test::AddRecord(db, "alpha", {now - 3 * 60 * kMinute, 18.25, 5.0, -2.0, 4.5});
    test::AddStation(db, {"tower", "Tower", "online",
                          R"({"safe":false,"link_ok":false,"unsafe_reason":"no reports"})"});
    test::AddRecord(db, "tower", {now - 20 * kMinute, 20.0, -30.0, -5.0, 4.0});
    test::AddStation(db, {"barn", "Barn", "online", kSafe});
    test::AddRecord(db, "barn", {now - 45 * kMinute, 20.5, -30.0, -5.0, 4.0});
    test::AddStation(db, {"lake", "Lake", "", ""});
    test::AddRecord(db, "lake", {now - 3 * kMinute * 60 * 24, 20.5, -30.0, -5.0, 4.0});
    test::AddStation(db, {"new", std::nullopt, "", ""});
}

// Stations "s00011" on, each in one of the conditions by turn.
void AddMany(QSqlDatabase& db, qint64 now, int count) {
    const char* states[] = {kSafe, kCloudy, kSafe, R"({"safe":true,"link_ok":false})", kSafe};
    for (int i = 11; i <= count; ++i) {
        const QString id = QStringLiteral("s%1").arg(i, 5, 10, QChar('0'));
        const bool offline = i % 17 == 0;
        test::AddStation(db, {id, "Station " + QString::number(i), offline ? "offline" : "online",
                              states[i % 5]});
        const qint64 age = i % 23 == 0 ? 90 * kMinute : kMinute;
        test::AddRecord(db, id, {now - age, 18.0 + (i % 40) / 10.0, -30.0, -5.0, 4.0});
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "Usage: fleet_web_serve <folder> <port> [stations]\n");
        return 2;
    }
    QSqlDatabase db = test::CreateArchive(QString::fromLocal8Bit(argv[1]) + "/archive.db", "fleet");
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    db.transaction();
    AddTen(db, now);
    AddMany(db, now, argc == 4 ? QByteArray(argv[3]).toInt() : 10);
    // Every chain whole, but the gap's: its first record stored, the one after the gap not.
    QSqlQuery(db).exec("UPDATE stations SET through = last_end");
    QSqlQuery(db).exec("UPDATE stations SET through = first_end WHERE station = 'gap'");
    db.commit();

    std::vector<StationRow> rows;
    QString error;
    if (!ArchiveReader("fleet").Stations(rows, error)) return 2;
    StationBoard board;
    board.Load(rows);
    const SystemClock clock;
    LastNightMedians medians("fleet", board, clock);
    medians.Start();
    ArchiveCounters counters;
    FleetWebOptions options;
    options.port = QByteArray(argv[2]).toUShort();
    const auto web =
        StartFleetWeb(options, "fleet", board, counters, Log([](LogLevel, std::string_view line) {
                          std::printf("%.*s\n", static_cast<int>(line.size()), line.data());
                          std::fflush(stdout);
                      }));
    if (!web) return 2;
    return app.exec();
}
