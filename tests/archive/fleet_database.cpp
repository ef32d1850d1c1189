#include "fleet_database.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

namespace noxa::test {
namespace {

constexpr char kSchema[] = R"(
CREATE TABLE schema_version (version INTEGER NOT NULL);
CREATE TABLE stations (
  station TEXT PRIMARY KEY, name TEXT, first_end BIGINT, last_end BIGINT,
  records BIGINT NOT NULL DEFAULT 0, through BIGINT, state TEXT, state_time BIGINT,
  availability TEXT, availability_time BIGINT);
CREATE TABLE records (
  station TEXT NOT NULL, end_time BIGINT NOT NULL, start_time BIGINT NOT NULL,
  previous_end BIGINT,
  mag_v DOUBLE PRECISION, mag_v2 DOUBLE PRECISION, mag_r DOUBLE PRECISION,
  mag_g DOUBLE PRECISION, mag_b DOUBLE PRECISION,
  freq_v DOUBLE PRECISION, freq_v2 DOUBLE PRECISION, freq_r DOUBLE PRECISION,
  freq_g DOUBLE PRECISION, freq_b DOUBLE PRECISION,
  temperature DOUBLE PRECISION, sky_temperature DOUBLE PRECISION,
  reports INTEGER NOT NULL, reports_r INTEGER NOT NULL, reports_g INTEGER NOT NULL,
  reports_b INTEGER NOT NULL,
  sun_altitude DOUBLE PRECISION, moon_altitude DOUBLE PRECISION,
  moon_illumination DOUBLE PRECISION,
  committed_at BIGINT NOT NULL,
  PRIMARY KEY (station, end_time))%1;
INSERT INTO schema_version VALUES (1))";

// PostgreSQL keeps the records in monthly partitions; the web reads them all the same.
constexpr char kPostgresPartitions[] = R"( PARTITION BY RANGE (end_time);
CREATE TABLE records_default PARTITION OF records DEFAULT)";

constexpr qint64 kMinute = 60'000;

void Exec(QSqlQuery& q) {
    EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString();
}

template <typename T>
QVariant Sql(const std::optional<T>& value) {
    return value ? QVariant(*value) : QVariant();
}

}  // namespace

QSqlDatabase CreateArchive(const QString& file, const QString& connection) {
    // NOXA_TEST_POSTGRES ("host=127.0.0.1 port=5432 dbname=x user=y") puts the archive in
    // that PostgreSQL database instead, its tables made afresh.
    const QString postgres = qEnvironmentVariable("NOXA_TEST_POSTGRES");
    QSqlDatabase db = QSqlDatabase::addDatabase(
        QLatin1String(postgres.isEmpty() ? "QSQLITE" : "QPSQL"), connection);
    QString schema =
        QString::fromLatin1(kSchema).arg(postgres.isEmpty() ? "" : kPostgresPartitions);
    if (postgres.isEmpty()) {
        db.setDatabaseName(file);
    } else {
        for (const QString& option : postgres.split(' ', Qt::SkipEmptyParts)) {
            const QString key = option.section('=', 0, 0), value = option.section('=', 1);
            if (key == "host") db.setHostName(value);
            if (key == "port") db.setPort(value.toInt());
            if (key == "dbname") db.setDatabaseName(value);
            if (key == "user") db.setUserName(value);
        }
        schema.prepend("DROP TABLE IF EXISTS schema_version, stations, records;");
    }
    EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
    for (const QString& statement : schema.split(';')) {
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec(statement)) << q.lastError().text().toStdString();
    }
    return db;
}

void AddStation(QSqlDatabase& db, const FakeStation& s) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "INSERT INTO stations (station, name, state, availability) VALUES (?, ?, ?, ?)"));
    q.addBindValue(s.id);
    q.addBindValue(Sql(s.name));
    q.addBindValue(s.state.isEmpty() ? QVariant() : QVariant(s.state));
    q.addBindValue(s.availability.isEmpty() ? QVariant() : QVariant(s.availability));
    Exec(q);
}

void AddRecord(QSqlDatabase& db, const QString& station, const FakeRecord& r) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "INSERT INTO records (station, end_time, start_time, mag_v, temperature, reports,"
        " reports_r, reports_g, reports_b, sun_altitude, moon_altitude, committed_at)"
        " VALUES (?, ?, ?, ?, ?, 3, 0, 0, 0, ?, ?, ?)"));
    for (const QVariant& v :
         {QVariant(station), QVariant(r.end), QVariant(r.end - kMinute), Sql(r.magV),
          Sql(r.temperature), Sql(r.sunAltitude), Sql(r.moonAltitude), QVariant(r.end)})
        q.addBindValue(v);
    Exec(q);
    q.prepare(QStringLiteral(
        "UPDATE stations SET records = records + 1,"
        " last_end = CASE WHEN last_end IS NULL OR last_end < ? THEN ? ELSE last_end END,"
        " first_end = CASE WHEN first_end IS NULL OR first_end > ? THEN ? ELSE first_end END"
        " WHERE station = ?"));
    for (const QVariant& v :
         {QVariant(r.end), QVariant(r.end), QVariant(r.end), QVariant(r.end), QVariant(station)})
        q.addBindValue(v);
    Exec(q);
}

void AddNight(QSqlDatabase& db, const QString& station, qint64 end, double darkMagV) {
    for (qint64 t = end - 24 * 60 * kMinute + 10 * kMinute; t <= end; t += 10 * kMinute) {
        const qint64 before = end - t;
        const bool dark = before >= 6 * 60 * kMinute && before < 18 * 60 * kMinute;
        const bool moon = dark && before < 10 * 60 * kMinute;
        AddRecord(db, station,
                  {t, dark ? (moon ? 19.0 : darkMagV) : 10.0, dark ? -30.0 : 10.0,
                   moon ? 20.0 : -5.0, std::nullopt});
    }
}

}  // namespace noxa::test
