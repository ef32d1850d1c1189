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
  PRIMARY KEY (station, end_time));
INSERT INTO schema_version VALUES (1))";

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
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(file);
    EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
    for (const QString& statement : QString::fromLatin1(kSchema).split(';')) {
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
        "UPDATE stations SET records = records + 1, last_end = MAX(COALESCE(last_end, ?), ?),"
        " first_end = MIN(COALESCE(first_end, ?), ?) WHERE station = ?"));
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
