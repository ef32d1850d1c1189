#pragma once

#include "archive/archive_batch.h"
#include "archive/statement_cache.h"

#include <QSqlDatabase>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace noxa {

// A record that was stored or whose previous end was lowered: it may move the chain on.
struct ChainLink {
    std::int64_t end = 0;
    std::optional<std::int64_t> previousEnd;
};

// Moves `chain.through` on: a link whose previous end is null or at most `through` moves it to
// its end, and from there it goes on through the following records whose previous end is at
// most the new `through`: the links themselves, and, when records were stored beyond it
// before (`storedNewest`), those read back from the database. `links` are in order of their
// ends. The chain never moves past `latestMs`, the archive's clock and its allowance.
bool AdvanceChain(QSqlDatabase& db, StatementCache& cache, const QString& station,
                  const std::vector<ChainLink>& links, std::optional<std::int64_t> storedNewest,
                  std::int64_t latestMs, StationChain& chain, QString& error);

// Writes the station's figures into the stations table; an empty name keeps the one stored.
bool SaveStation(QSqlDatabase& db, StatementCache& cache, const QString& station,
                 const QString& name, const StationChain& chain, QString& error);

// Writes a station's newest state or availability into the stations table.
bool SaveReport(QSqlDatabase& db, StatementCache& cache, const StationReport& report,
                QString& error);

}  // namespace noxa
