#include "archive/record_insert.h"

#include <QDateTime>
#include <QSqlError>
#include <QTimeZone>

namespace noxa {
namespace {

// The most rows in one statement; fewer are stored by statements of 256, 128 ... 1 rows, so
// that a handful of statements serves every batch.
constexpr int kRowsPerStatement = 500;

QString InsertSql(int rows) {
    QString columns = "station, end_time, start_time, previous_end";
    for (const char* key : kMeasureKeys) columns += QStringLiteral(", ") + key;
    for (const char* key : kReportKeys) columns += QStringLiteral(", ") + key;
    columns += ", committed_at";
    const int count = 4 + static_cast<int>(kMeasureKeys.size() + kReportKeys.size()) + 1;
    QString row = "(?";
    for (int i = 1; i < count; ++i) row += ",?";
    row += ')';
    QString sql = "INSERT INTO records (" + columns + ") VALUES " + row;
    for (int i = 1; i < rows; ++i) sql += ',' + row;
    return sql + " ON CONFLICT (station, end_time) DO NOTHING RETURNING station, end_time";
}

QVariant Optional(const std::optional<std::int64_t>& value) {
    return value ? QVariant(qint64(*value)) : QVariant(QMetaType::fromType<qint64>());
}

QVariant Optional(const std::optional<double>& value) {
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<double>());
}

void BindRecord(QSqlQuery& query, const ArchivedRecord& record, std::int64_t nowMs) {
    query.addBindValue(record.station);
    query.addBindValue(qint64(record.end));
    query.addBindValue(qint64(record.start));
    query.addBindValue(Optional(record.previousEnd));
    for (const auto& measure : record.measures) query.addBindValue(Optional(measure));
    for (const std::int64_t count : record.reports) query.addBindValue(qint64(count));
    query.addBindValue(qint64(nowMs));
}

// The month that `ms` falls in, as [start, end) in ms; false outside the years partitioned.
bool MonthOf(std::int64_t ms, QDate& month, std::int64_t& from, std::int64_t& to) {
    const QDate date = QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()).date();
    if (date.year() < 2000 || date.year() > 2199) return false;
    month = QDate(date.year(), date.month(), 1);
    from = QDateTime(month, QTime(0, 0), QTimeZone::utc()).toMSecsSinceEpoch();
    to = QDateTime(month.addMonths(1), QTime(0, 0), QTimeZone::utc()).toMSecsSinceEpoch();
    return true;
}

}  // namespace

bool InsertRecords(QSqlDatabase& db, StatementCache& cache,
                   const std::vector<const ArchivedRecord*>& records, std::int64_t nowMs,
                   std::set<RecordKey>& inserted, QString& error) {
    std::size_t next = 0;
    while (next < records.size()) {
        int rows = kRowsPerStatement;
        while (static_cast<std::size_t>(rows) > records.size() - next) rows /= 2;
        rows = std::max(rows, 1);
        QSqlQuery* query = cache.Get(db, InsertSql(rows), error);
        if (query == nullptr) return false;
        for (int i = 0; i < rows; ++i) BindRecord(*query, *records[next + i], nowMs);
        if (!query->exec()) {
            error = query->lastError().text();
            return false;
        }
        while (query->next()) {
            inserted.emplace(query->value(0).toString(), query->value(1).toLongLong());
        }
        query->finish();
        next += static_cast<std::size_t>(rows);
    }
    return true;
}

bool LowerPreviousEnd(QSqlDatabase& db, StatementCache& cache, const ArchivedRecord& repeat,
                      bool& changed, QString& error) {
    QSqlQuery* found = cache.Get(
        db,
        repeat.previousEnd ? "UPDATE records SET previous_end = ? WHERE station = ? AND "
                             "end_time = ? AND previous_end > ?"
                           : "UPDATE records SET previous_end = NULL WHERE station = ? AND "
                             "end_time = ? AND previous_end IS NOT NULL",
        error);
    if (found == nullptr) return false;
    QSqlQuery& query = *found;
    if (repeat.previousEnd) query.addBindValue(qint64(*repeat.previousEnd));
    query.addBindValue(repeat.station);
    query.addBindValue(qint64(repeat.end));
    if (repeat.previousEnd) query.addBindValue(qint64(*repeat.previousEnd));
    if (!query.exec()) {
        error = query.lastError().text();
        return false;
    }
    changed = query.numRowsAffected() > 0;
    query.finish();
    return true;
}

bool EnsureMonthlyPartitions(QSqlDatabase& db, const std::vector<const ArchivedRecord*>& records,
                             std::set<QString>& known, QString& error) {
    for (const ArchivedRecord* record : records) {
        QDate month;
        std::int64_t from = 0, to = 0;
        if (!MonthOf(record->end, month, from, to)) continue;
        const QString name = month.toString("'records_'yyyy_MM");
        if (known.count(name)) continue;
        QSqlQuery query(db);
        const QString sql =
            QStringLiteral(
                "CREATE TABLE IF NOT EXISTS %1 PARTITION OF records FOR VALUES FROM (%2) TO (%3)")
                .arg(name)
                .arg(from)
                .arg(to);
        if (!query.exec(sql)) {
            error = query.lastError().text();
            return false;
        }
        known.insert(name);
    }
    return true;
}

}  // namespace noxa
