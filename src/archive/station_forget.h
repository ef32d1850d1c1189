#pragma once

#include <QSqlDatabase>
#include <QString>

#include <cstdint>
#include <optional>

namespace noxa {

// What the archive holds of one station, before it is forgotten.
struct StationHoldings {
    QString name;  // its display name; empty when it has none
    std::int64_t records = 0;
};

// What the database `db` holds of `station`; nothing when it does not know the station, or
// (with `error` said) when the database cannot be read.
std::optional<StationHoldings> HoldingsOf(QSqlDatabase& db, const QString& station, QString& error);

// Removes the station's records and its row in one transaction; the number of records removed,
// or nothing with `error` said.
std::optional<std::int64_t> ForgetStation(QSqlDatabase& db, const QString& station, QString& error);

}  // namespace noxa
