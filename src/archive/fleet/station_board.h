#pragma once

#include "archive/archive_batch.h"
#include "archive/fleet/station_facts.h"

#include <QString>

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace noxa {

// Every station as the archive holds it, kept in memory so that the web side answers without
// asking the database: loaded from the stations table when the database opens, then brought
// up to date with each committed batch. Safe to use from any thread.
class StationBoard {
public:
    // Replaces what is held by `rows` (the stations table). Until the first load nothing is
    // known, and Loaded() is false.
    void Load(const std::vector<StationRow>& rows);
    bool Loaded() const;

    // A committed batch: its records moved their stations' chains as `outcome` says; its
    // states and availabilities are the stations' newest.
    void Apply(const ArchiveBatch& batch, const CommitOutcome& outcome);

    // Last night's median of the station, once found (empty: there is none).
    void SetLastNight(const QString& id, std::optional<double> median);

    // Drops the station, as when the archive forgets it.
    void Forget(const QString& id);

    // A copy of every station, ordered by name (the id where there is none), case aside, then
    // by id.
    std::vector<StationFacts> Copy() const;

private:
    using NameKey = std::pair<QString, QString>;  // the name case-folded, the id
    static NameKey KeyOf(const StationFacts& facts);
    // The station, made when it is new.
    StationFacts& Entry(const QString& id);
    void Rename(StationFacts& facts, const QString& name);
    void ApplyReport(const StationReport& report);

    mutable std::mutex mutex_;
    bool loaded_ = false;
    std::map<QString, StationFacts> stations_;
    std::set<NameKey> byName_;
};

}  // namespace noxa
