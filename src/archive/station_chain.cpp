#include "archive/station_chain.h"

#include <QSqlError>
#include <QSqlQuery>

namespace noxa {
namespace {

constexpr int kWalkRows = 2000;

bool Fail(const QSqlQuery& query, QString& error) {
    error = query.lastError().text();
    return false;
}

// Walks from `through` through the stored records that follow it in the chain.
bool Walk(QSqlDatabase& db, StatementCache& cache, const QString& station, std::int64_t latestMs,
          std::int64_t& through, QString& error) {
    QSqlQuery* found =
        cache.Get(db,
                  QStringLiteral("SELECT end_time, previous_end FROM records WHERE station = ? "
                                 "AND end_time > ? ORDER BY end_time LIMIT %1")
                      .arg(kWalkRows),
                  error);
    if (found == nullptr) return false;
    QSqlQuery& query = *found;
    for (;;) {
        query.addBindValue(station);
        query.addBindValue(qint64(through));
        if (!query.exec()) return Fail(query, error);
        int rows = 0;
        while (query.next()) {
            ++rows;
            const QVariant previous = query.value(1);
            if ((!previous.isNull() && previous.toLongLong() > through) ||
                query.value(0).toLongLong() > latestMs) {
                query.finish();
                return true;
            }
            through = query.value(0).toLongLong();
        }
        query.finish();
        if (rows < kWalkRows) return true;
    }
}

bool Finish(QSqlQuery& query, QString& error) {
    if (!query.exec()) return Fail(query, error);
    query.finish();
    return true;
}

QVariant Optional(const std::optional<std::int64_t>& value) {
    return value ? QVariant(qint64(*value)) : QVariant(QMetaType::fromType<qint64>());
}

}  // namespace

bool AdvanceChain(QSqlDatabase& db, StatementCache& cache, const QString& station,
                  const std::vector<ChainLink>& links, std::optional<std::int64_t> storedNewest,
                  std::int64_t latestMs, StationChain& chain, QString& error) {
    const std::optional<std::int64_t> before = chain.through;
    for (const ChainLink& link : links) {
        if (link.end > latestMs) break;
        if (chain.through && link.end <= *chain.through) continue;
        if (!link.previousEnd || (chain.through && *link.previousEnd <= *chain.through)) {
            chain.through = link.end;
        }
    }
    // Records stored before may continue the chain beyond what the links reached.
    if (!chain.through || chain.through == before || !storedNewest ||
        *storedNewest <= *chain.through) {
        return true;
    }
    std::int64_t through = *chain.through;
    if (!Walk(db, cache, station, latestMs, through, error)) return false;
    chain.through = through;
    return true;
}

bool SaveStation(QSqlDatabase& db, StatementCache& cache, const QString& station,
                 const QString& name, const StationChain& chain, QString& error) {
    QSqlQuery* found =
        cache.Get(db,
                  "INSERT INTO stations (station, name, first_end, last_end, records, through) "
                  "VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (station) DO UPDATE SET "
                  "name = COALESCE(excluded.name, stations.name), "
                  "first_end = excluded.first_end, last_end = excluded.last_end, "
                  "records = excluded.records, through = excluded.through",
                  error);
    if (found == nullptr) return false;
    QSqlQuery& query = *found;
    query.addBindValue(station);
    query.addBindValue(name.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : name);
    query.addBindValue(Optional(chain.oldest));
    query.addBindValue(Optional(chain.newest));
    query.addBindValue(qint64(chain.records));
    query.addBindValue(Optional(chain.through));
    return Finish(query, error);
}

bool SaveReport(QSqlDatabase& db, StatementCache& cache, const StationReport& report,
                QString& error) {
    const bool state = report.kind == StationReport::Kind::State;
    const QString column = state ? "state" : "availability";
    QSqlQuery* found =
        cache.Get(db,
                  QStringLiteral("INSERT INTO stations (station, name, %1, %1_time) "
                                 "VALUES (?, ?, ?, ?) ON CONFLICT (station) DO UPDATE SET "
                                 "name = COALESCE(excluded.name, stations.name), "
                                 "%1 = excluded.%1, %1_time = excluded.%1_time")
                      .arg(column),
                  error);
    if (found == nullptr) return false;
    QSqlQuery& query = *found;
    query.addBindValue(report.station);
    query.addBindValue(report.name.isEmpty() ? QVariant(QMetaType::fromType<QString>())
                                             : QVariant(report.name));
    query.addBindValue(report.text ? QVariant(*report.text)
                                   : QVariant(QMetaType::fromType<QString>()));
    query.addBindValue(qint64(report.arrivedMs));
    return Finish(query, error);
}

}  // namespace noxa
