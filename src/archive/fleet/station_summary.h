#pragma once

#include "archive/fleet/archive_reader.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace noxa {

// What the fleet page shows of a station. Unknown values are empty.
struct StationSummary {
    QString id;
    std::optional<QString> name;
    std::optional<QString> availability;  // "online", "offline" as the station said
    std::optional<qint64> lastEnd;        // the newest record's end, ms UTC
    std::optional<double> ageSeconds;     // since that end
    // The station's own verdict from its state; unknown while it is stale or offline, as an
    // old verdict says nothing of the sky now.
    std::optional<bool> safe;
    // The state's sky brightness, or the newest record's when the state has none.
    std::optional<double> magV;
    std::optional<double> lastNightMedian;
    qint64 records = 0;
    // Silent beyond the stale limit, or never heard from.
    bool stale = true;
};

StationSummary Summarize(const StationRow& row, std::optional<double> lastNightMedian, qint64 now,
                         qint64 staleSeconds);

// Ordered by name (the id where there is none), case aside, then by id.
void SortByName(std::vector<StationSummary>& stations);

// The JSON array of /api/stations.
QByteArray StationsJson(const std::vector<StationSummary>& stations);

}  // namespace noxa
