#include "archive/record_insert.h"

#include "archive/sql_literal.h"

#include <QDateTime>
#include <QSqlError>
#include <QTimeZone>

#include <algorithm>
#include <string>

namespace noxa {
namespace {

// The most rows in one statement.
constexpr std::size_t kRowsPerStatement = 500;

std::string InsertHead() {
    std::string columns = "station, end_time, start_time, previous_end";
    for (const char* key : kMeasureKeys) columns += std::string(", ") + key;
    for (const char* key : kReportKeys) columns += std::string(", ") + key;
    return "INSERT INTO records (" + columns + ", committed_at) VALUES ";
}

// The rows' values are written into the statement's text rather than bound: Qt SQL's binding
// costs more than the database's work on a row, and its PostgreSQL driver sends bound values
// as text in an EXECUTE statement anyway.
void AppendRow(std::string& sql, const std::string& station, const ArchivedRecord& record,
               const std::string& committed) {
    sql += '(';
    sql += station;
    sql += ',';
    AppendSqlNumber(sql, record.end);
    sql += ',';
    AppendSqlNumber(sql, record.start);
    sql += ',';
    AppendSqlNumber(sql, record.previousEnd);
    for (const auto& measure : record.measures) {
        sql += ',';
        AppendSqlNumber(sql, measure);
    }
    for (const std::int64_t count : record.reports) {
        sql += ',';
        AppendSqlNumber(sql, count);
    }
    sql += committed;
    sql += ')';
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

// Marks the record of `station` and `end` in `records` (in order of station and end) as new.
void MarkNew(const std::vector<const ArchivedRecord*>& records, const QString& station,
             std::int64_t end, std::vector<bool>& isNew) {
    const auto found = std::lower_bound(records.begin(), records.end(), std::pair(&station, end),
                                        [](const ArchivedRecord* record, const auto& key) {
                                            if (record->station != *key.first)
                                                return record->station < *key.first;
                                            return record->end < key.second;
                                        });
    if (found != records.end() && (*found)->station == station && (*found)->end == end) {
        isNew[static_cast<std::size_t>(found - records.begin())] = true;
    }
}

}  // namespace

bool InsertRecords(QSqlDatabase& db, const std::vector<const ArchivedRecord*>& records,
                   std::int64_t nowMs, bool returning, std::vector<bool>& isNew, bool& repeats,
                   QString& error) {
    const std::string head = InsertHead();
    const char* tail = returning ? " ON CONFLICT (station, end_time) DO NOTHING RETURNING "
                                   "station, end_time"
                                 : " ON CONFLICT (station, end_time) DO NOTHING";
    std::string committed = ",";
    AppendSqlNumber(committed, nowMs);
    const QString* quoted = nullptr;  // the station whose literal `station` holds
    std::string station, sql;
    QSqlQuery query(db);
    isNew.assign(records.size(), false);
    for (std::size_t next = 0; next < records.size();) {
        const std::size_t rows = std::min(kRowsPerStatement, records.size() - next);
        sql = head;
        for (std::size_t i = next; i < next + rows; ++i) {
            if (quoted == nullptr || *quoted != records[i]->station) {
                quoted = &records[i]->station;
                station = SqlTextLiteral(*db.driver(), *quoted);
            }
            if (i > next) sql += ',';
            AppendRow(sql, station, *records[i], committed);
        }
        sql += tail;
        if (!query.exec(QString::fromStdString(sql))) {
            error = query.lastError().text();
            return false;
        }
        if (returning) {
            while (query.next())
                MarkNew(records, query.value(0).toString(), query.value(1).toLongLong(), isNew);
        } else if (query.numRowsAffected() == static_cast<int>(rows)) {
            std::fill(isNew.begin() + next, isNew.begin() + next + rows, true);
        } else {
            repeats = true;
            return false;
        }
        query.finish();
        next += rows;
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
    std::int64_t from = 0, to = 0;  // the month of the record before
    for (const ArchivedRecord* record : records) {
        if (record->end >= from && record->end < to) continue;
        QDate month;
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
