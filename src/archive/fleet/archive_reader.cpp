#include "archive/fleet/archive_reader.h"

#include "archive/fleet/record_columns.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>
#include <initializer_list>

namespace noxa {
namespace {

constexpr qint64 kHourMs = 3600 * 1000;
// The Sun's altitude below which the sky is dark.
constexpr double kDarkSunAltitude = -18.0;
// How far back a night may have ended and still be "last night".
constexpr qint64 kLastNightWithinMs = 36 * kHourMs;

constexpr char kStationSelect[] =
    "SELECT s.station, s.name, s.last_end, s.records, s.state, s.availability, r.mag_v, "
    "s.through "
    "FROM stations s LEFT JOIN records r ON r.station = s.station AND r.end_time = s.last_end";

template <typename T>
std::optional<T> Optional(const QVariant& value) {
    if (value.isNull()) return std::nullopt;
    return value.value<T>();
}

StationRow StationOf(const QSqlQuery& q) {
    StationRow row;
    row.id = q.value(0).toString();
    row.name = Optional<QString>(q.value(1));
    row.lastEnd = Optional<qint64>(q.value(2));
    row.records = q.value(3).toLongLong();
    row.state = q.value(4).toString().toUtf8();
    row.availability = Optional<QString>(q.value(5));
    row.lastRecordMagV = Optional<double>(q.value(6));
    row.through = Optional<qint64>(q.value(7));
    return row;
}

// A number for each reader and each thread, never used again in the process.
std::atomic<int> lastSerial{0};
int ThreadSerial() {
    thread_local const int serial = ++lastSerial;
    return serial;
}

// A query prepared on the connection and run with `values` bound in order.
bool Run(QSqlQuery& query, const QString& connection, const QString& sql,
         std::initializer_list<QVariant> values, QString& error) {
    // Opened on first use, and again after a failure (a database server that restarted).
    QSqlDatabase db = QSqlDatabase::database(connection, true);
    if (!db.isValid() || !db.isOpen()) {
        error = db.isValid() ? db.lastError().text()
                             : QStringLiteral("no database connection \"%1\"").arg(connection);
        return false;
    }
    query = QSqlQuery(db);
    query.setForwardOnly(true);
    if (query.prepare(sql)) {
        for (const QVariant& value : values) query.addBindValue(value);
        if (query.exec()) return true;
    }
    error = query.lastError().text();
    query = QSqlQuery();
    db.close();
    return false;
}

// The single value a query answers, empty for NULL or no row.
bool Newest(const QString& connection, const QString& sql, std::initializer_list<QVariant> values,
            std::optional<qint64>& out, QString& error) {
    QSqlQuery q;
    if (!Run(q, connection, sql, values, error)) return false;
    out = q.next() ? Optional<qint64>(q.value(0)) : std::nullopt;
    return true;
}

}  // namespace

ArchiveReader::ArchiveReader(QString connectionName)
    : connection_(std::move(connectionName)), serial_(++lastSerial) {}

ArchiveReader::~ArchiveReader() {
    for (const QString& name : copies_) QSqlDatabase::removeDatabase(name);
}

// A connection is used only on the thread that made it: each thread that reads gets its own
// copy of the archive's.
QString ArchiveReader::Connection() const {
    const QString name =
        QStringLiteral("%1@%2.%3").arg(connection_).arg(serial_).arg(ThreadSerial());
    std::lock_guard lock(mutex_);
    if (!QSqlDatabase::contains(name)) {
        QSqlDatabase::cloneDatabase(connection_, name);
        copies_.push_back(name);
    }
    return name;
}

bool ArchiveReader::Stations(std::vector<StationRow>& out, QString& error) const {
    QSqlQuery q;
    if (!Run(q, Connection(), QString::fromLatin1(kStationSelect), {}, error)) return false;
    out.clear();
    while (q.next()) out.push_back(StationOf(q));
    return true;
}

bool ArchiveReader::Station(const QString& id, std::optional<StationRow>& found,
                            QString& error) const {
    QSqlQuery q;
    const QString sql = QString::fromLatin1(kStationSelect) + " WHERE s.station = ?";
    if (!Run(q, Connection(), sql, {id}, error)) return false;
    found = q.next() ? std::optional(StationOf(q)) : std::nullopt;
    return true;
}

bool ArchiveReader::Records(const QString& id, qint64 from, qint64 to, qint64 limit,
                            const RowSink& row, std::optional<qint64>& next, QString& error) const {
    QSqlQuery q;
    const QString sql = "SELECT " + QString::fromLatin1(RecordSelectList()) +
                        " FROM records WHERE station = ? AND end_time >= ? AND end_time <= ?"
                        " ORDER BY end_time LIMIT ?";
    if (!Run(q, Connection(), sql, {id, from, to, limit + 1}, error)) return false;
    qint64 rows = 0;
    next.reset();
    const int end = 1;  // end_time's place in the select list
    while (q.next()) {
        if (++rows > limit) {
            next = q.value(end).toLongLong();
            break;
        }
        row(q);
    }
    return true;
}

bool ArchiveReader::EndAfter(const QString& id, qint64 from, qint64 to, qint64 count,
                             std::optional<qint64>& end, QString& error) const {
    const QString sql =
        "SELECT end_time FROM records WHERE station = ? AND end_time >= ? AND end_time <= ?"
        " ORDER BY end_time LIMIT 1 OFFSET ?";
    return Newest(Connection(), sql, {id, from, to, count}, end, error);
}

bool ArchiveReader::LastNightDarkMagnitudes(const QString& id, qint64 now, std::vector<float>& out,
                                            QString& error) const {
    out.clear();
    const QString newest =
        "SELECT MAX(end_time) FROM records WHERE station = ? AND end_time > ? AND end_time < ?"
        " AND sun_altitude %1 ?";
    const QString light = newest.arg(">=");
    const QString dark = newest.arg("<");
    // The newest record in daylight or twilight, the newest dark one before it (the night's
    // end) and the light one before that (its start).
    std::optional<qint64> dawn, nightEnd, dusk;
    const qint64 since = now - kLastNightWithinMs - 24 * kHourMs;
    if (!Newest(Connection(), light, {id, since, now + 1, kDarkSunAltitude}, dawn, error))
        return false;
    if (!dawn) return true;
    if (!Newest(Connection(), dark, {id, since, *dawn, kDarkSunAltitude}, nightEnd, error))
        return false;
    if (!nightEnd || *nightEnd < now - kLastNightWithinMs) return true;
    const qint64 longest = *nightEnd - 24 * kHourMs;
    if (!Newest(Connection(), light, {id, longest, *nightEnd, kDarkSunAltitude}, dusk, error))
        return false;
    QSqlQuery q;
    const QString values =
        "SELECT mag_v FROM records WHERE station = ? AND end_time > ? AND end_time <= ?"
        " AND sun_altitude < ? AND moon_altitude < 0 AND mag_v IS NOT NULL";
    if (!Run(q, Connection(), values, {id, dusk.value_or(longest), *nightEnd, kDarkSunAltitude},
             error))
        return false;
    while (q.next()) out.push_back(q.value(0).toFloat());
    return true;
}

}  // namespace noxa
