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

// Inserts `records` (no key twice, in order of station and end), many rows to a statement; a
// record already stored is left as it is. `isNew` says, for each record, whether it was new.
// Without `returning` the statements do not name the new rows, which costs both sides less:
// then a statement that stored fewer rows than it had sets `repeats` and stops, and the caller
// stores them again, within a new transaction, with `returning`.
bool InsertRecords(QSqlDatabase& db, const std::vector<const ArchivedRecord*>& records,
                   std::int64_t nowMs, bool returning, std::vector<bool>& isNew, bool& repeats,
                   QString& error);

// A repeat whose previous end is null or earlier than the stored one lowers it; true in
// `changed` when it did.
bool LowerPreviousEnd(QSqlDatabase& db, StatementCache& cache, const ArchivedRecord& repeat,
                      bool& changed, QString& error);

// PostgreSQL: creates the monthly partitions (records_YYYY_MM) that `records` fall in and
// that `known` does not hold yet; `known` gets those created.
bool EnsureMonthlyPartitions(QSqlDatabase& db, const std::vector<const ArchivedRecord*>& records,
                             std::set<QString>& known, QString& error);

}  // namespace noxa
