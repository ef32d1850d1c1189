#pragma once

#include "archive/archived_record.h"
#include "archive/statement_cache.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace noxa {

using RecordKey = std::pair<QString, std::int64_t>;  // station id, end

// Inserts `records` (no key twice), many rows to a statement; a record already stored is left
// as it is. `inserted` gets the keys of those that were new.
bool InsertRecords(QSqlDatabase& db, const std::vector<const ArchivedRecord*>& records,
                   std::int64_t nowMs, std::set<RecordKey>& inserted, QString& error);

// A repeat whose previous end is null or earlier than the stored one lowers it; true in
// `changed` when it did.
bool LowerPreviousEnd(QSqlDatabase& db, StatementCache& cache, const ArchivedRecord& repeat,
                      bool& changed, QString& error);

// PostgreSQL: creates the monthly partitions (records_YYYY_MM) that `records` fall in and
// that `known` does not hold yet; `known` gets those created.
bool EnsureMonthlyPartitions(QSqlDatabase& db, const std::vector<const ArchivedRecord*>& records,
                             std::set<QString>& known, QString& error);

}  // namespace noxa
