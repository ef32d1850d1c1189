// Serves a small made-up archive for the fleet page's browser test: three stations (one
// reporting, one silent for three hours, one never heard from) in an SQLite archive made in
// the folder given. Usage: fleet_web_serve <folder> <port>. Prints the log, "Fleet web on <url>"
// once it listens on 127.0.0.1.
#include "archive/archive_counters.h"
#include "archive/fleet/fleet_web.h"
#include "fleet_database.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "Usage: fleet_web_serve <folder> <port>\n");
        return 2;
    }
    using namespace noxa;
    QSqlDatabase db = test::CreateArchive(QString::fromLocal8Bit(argv[1]) + "/archive.db", "fleet");
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    db.transaction();
    test::AddStation(db, {"roof", "Roof", "online", R"({"safe":true,"mag_v":21.3})"});
    test::AddNight(db, "roof", now - 60'000, 21.0);
    test::AddStation(db, {"alpha", "Alpha hill", "offline", R"({"safe":false})"});
    test::AddRecord(db, "alpha", {now - 3 * 3600'000, 18.25, 5.0, -2.0, 4.5});
    test::AddStation(db, {"new", std::nullopt, "", ""});
    db.commit();

    ArchiveCounters counters;
    FleetWebOptions options;
    options.port = QByteArray(argv[2]).toUShort();
    const auto web =
        StartFleetWeb(options, "fleet", counters, Log([](LogLevel, std::string_view line) {
                          std::printf("%.*s\n", static_cast<int>(line.size()), line.data());
                          std::fflush(stdout);
                      }));
    if (!web) return 2;
    return app.exec();
}
