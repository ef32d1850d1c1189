#pragma once

#include "archive/archived_record.h"

#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace noxa {

// A station's newest state or availability, as it arrived.
struct StationReport {
    enum class Kind { State, Availability } kind = Kind::State;
    QString station;
    QString name;                 // the display name the state carries, if any
    std::optional<QString> text;  // null: the retained message was cleared
    std::int64_t arrivedMs = 0;
};

// A refused record that still links its station's chain (see RefusedButLinked).
struct RefusedLink {
    QString station;
    std::int64_t end = 0;
    std::optional<std::int64_t> previousEnd;
};

// What one transaction stores.
struct ArchiveBatch {
    std::vector<ArchivedRecord> records;
    std::vector<StationReport> reports;
    std::vector<RefusedLink> refusedLinks;
    bool Empty() const { return records.empty() && reports.empty() && refusedLinks.empty(); }
};

// What the archive knows of a station's records, kept as the stations table has it.
struct StationChain {
    std::optional<std::int64_t> through;  // the confirmed chain head
    std::optional<std::int64_t> newest;   // the newest end stored
    std::optional<std::int64_t> oldest;   // the oldest end stored
    std::int64_t records = 0;
};

// What a commit did.
struct CommitOutcome {
    std::map<QString, StationChain> touched;  // the stations whose records came, afterwards
    std::vector<std::pair<QString, QString>> newStations;  // id, name: their first records
    std::uint64_t inserted = 0, repeated = 0;
    std::int64_t oldestInsertedEnd = 0;  // of the new records; 0 without any
};

}  // namespace noxa
