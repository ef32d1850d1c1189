#pragma once

#include "archive/fleet/station_facts.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace noxa {

// What a station needs from its operator, most urgent first: the problems, then the sky.
enum class Condition {
    Offline,           // the station (or the broker, for it) said "offline"
    InstrumentSilent,  // the station runs but hears nothing from its instrument
    Silent,            // no record for longer than the stale limit
    Backlog,           // records stored beyond a gap the station has still to fill
    NoRecords,         // heard from, but not one record stored
    Unsafe,            // reporting, the sky unsafe (clouds, light): weather, not a fault
    Unknown,           // reporting, no verdict on the sky
    Safe,              // reporting, the sky safe
};

// "offline", "instrument_silent", … as /api/stations gives it.
const char* ConditionKey(Condition condition);

// What the fleet page shows of a station. Unknown values are empty.
struct StationSummary {
    QString id;
    std::optional<QString> name;
    std::optional<QString> availability;  // "online", "offline" as the station said
    std::optional<qint64> lastEnd;        // the newest record's end, ms UTC
    std::optional<qint64> through;        // stored without a gap up to this end
    std::optional<double> ageSeconds;     // since that end
    // The station's own verdict from its state, and why it finds the sky unsafe; unknown
    // while it is stale or offline, as an old verdict says nothing of the sky now.
    std::optional<bool> safe;
    std::optional<QString> unsafeReason;
    // Whether the station hears its instrument, as its state says; unknown while offline.
    std::optional<bool> linkOk;
    // The state's sky brightness, or the newest record's when the state has none.
    std::optional<double> magV;
    std::optional<double> lastNightMedian;
    qint64 records = 0;
    // Silent beyond the stale limit, or never heard from.
    bool stale = true;
    Condition condition = Condition::NoRecords;
};

StationSummary Summarize(const StationFacts& facts, qint64 now, qint64 staleSeconds);

// Every station summarized, in the same order.
std::vector<StationSummary> SummarizeAll(const std::vector<StationFacts>& stations, qint64 now,
                                         qint64 staleSeconds);

// The JSON array of /api/stations.
QByteArray StationsJson(const std::vector<StationSummary>& stations);

}  // namespace noxa
