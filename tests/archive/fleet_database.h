#pragma once

#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace noxa::test {

// An SQLite archive of the archive's schema, in `file`, open under `connection`.
QSqlDatabase CreateArchive(const QString& file, const QString& connection);

struct FakeStation {
    QString id;
    std::optional<QString> name;
    QString availability;  // empty: none came
    QString state;         // empty: none came
};

struct FakeRecord {
    qint64 end = 0;
    std::optional<double> magV;
    std::optional<double> sunAltitude;
    std::optional<double> moonAltitude;
    std::optional<double> temperature;
};

void AddStation(QSqlDatabase& db, const FakeStation& station);
// Stores the record (a minute long, every other value unknown) and brings the station's
// first_end, last_end and records up to date.
void AddRecord(QSqlDatabase& db, const QString& station, const FakeRecord& record);

// A night of 10-minute records for `station` ending at `end` (ms UTC): the Sun below -18°
// from 18 to 6 hours before it, the Moon up for its last 4 dark hours. Dark moonless records
// read `darkMagV`, moonlit ones 19, the rest 10.
void AddNight(QSqlDatabase& db, const QString& station, qint64 end, double darkMagV);

}  // namespace noxa::test
