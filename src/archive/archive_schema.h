#pragma once

#include "archive/database_url.h"

#include <QSqlDatabase>
#include <QString>

namespace noxa {

// The version of the tables this archive writes.
inline constexpr int kSchemaVersion = 1;

// Brings the database of `db` to kSchemaVersion, one step per version in a transaction each;
// false with `error` said when it cannot (a database newer than this archive, say).
bool UpgradeSchema(QSqlDatabase& db, DatabaseTarget::Engine engine, QString& error);

}  // namespace noxa
