#include "archive/station_forget.h"

#include <QSqlError>
#include <QSqlQuery>

namespace noxa {
namespace {

bool Run(QSqlQuery& query, const QString& sql, const QString& station, QString& error) {
    if (query.prepare(sql)) {
        query.addBindValue(station);
        if (query.exec()) return true;
    }
    error = query.lastError().text();
    return false;
}

}  // namespace

std::optional<StationHoldings> HoldingsOf(QSqlDatabase& db, const QString& station,
                                          QString& error) {
    QSqlQuery query(db);
    if (!Run(query, "SELECT name FROM stations WHERE station = ?", station, error))
        return std::nullopt;
    std::optional<StationHoldings> holdings;
    if (query.next()) holdings = StationHoldings{query.value(0).toString(), 0};
    if (!Run(query, "SELECT COUNT(*) FROM records WHERE station = ?", station, error))
        return std::nullopt;
    const std::int64_t records = query.next() ? query.value(0).toLongLong() : 0;
    if (!holdings && records == 0) return std::nullopt;
    if (!holdings) holdings.emplace();
    holdings->records = records;
    return holdings;
}

std::optional<std::int64_t> ForgetStation(QSqlDatabase& db, const QString& station,
                                          QString& error) {
    if (!db.transaction()) {
        error = db.lastError().text();
        return std::nullopt;
    }
    QSqlQuery query(db);
    std::int64_t removed = 0;
    const bool done = Run(query, "DELETE FROM records WHERE station = ?", station, error) &&
                      (removed = query.numRowsAffected(), true) &&
                      Run(query, "DELETE FROM stations WHERE station = ?", station, error) &&
                      db.commit();
    if (done) return removed;
    if (error.isEmpty()) error = db.lastError().text();
    db.rollback();
    return std::nullopt;
}

}  // namespace noxa
