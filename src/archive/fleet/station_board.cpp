#include "archive/fleet/station_board.h"

namespace noxa {

void StationBoard::Load(const std::vector<StationRow>& rows) {
    std::map<QString, StationFacts> loaded;
    for (const StationRow& row : rows) loaded.emplace(row.id, FactsOf(row));
    const std::lock_guard lock(mutex_);
    // A median found before stays: the stations table does not hold it.
    for (auto& [id, facts] : loaded) {
        const auto held = stations_.find(id);
        if (held != stations_.end()) facts.lastNightMedian = held->second.lastNightMedian;
    }
    stations_ = std::move(loaded);
    byName_.clear();
    for (const auto& [id, facts] : stations_) byName_.insert(KeyOf(facts));
    loaded_ = true;
}

StationBoard::NameKey StationBoard::KeyOf(const StationFacts& facts) {
    return {facts.name.value_or(facts.id).toCaseFolded(), facts.id};
}

StationFacts& StationBoard::Entry(const QString& id) {
    const auto [entry, made] = stations_.try_emplace(id);
    if (made) {
        entry->second.id = id;
        byName_.insert(KeyOf(entry->second));
    }
    return entry->second;
}

void StationBoard::Rename(StationFacts& facts, const QString& name) {
    if (facts.name == name) return;
    byName_.erase(KeyOf(facts));
    facts.name = name;
    byName_.insert(KeyOf(facts));
}

bool StationBoard::Loaded() const {
    const std::lock_guard lock(mutex_);
    return loaded_;
}

void StationBoard::Apply(const ArchiveBatch& batch, const CommitOutcome& outcome) {
    const std::lock_guard lock(mutex_);
    for (const auto& [id, chain] : outcome.touched) {
        StationFacts& facts = Entry(id);
        facts.lastEnd = chain.newest;
        facts.through = chain.through;
        facts.records = chain.records;
    }
    // As the database has it: the name of the batch's newest record of each station, and the
    // brightness of the station's newest record.
    std::map<QString, const ArchivedRecord*> newest;
    for (const ArchivedRecord& record : batch.records) {
        const ArchivedRecord*& held = newest[record.station];
        if (held == nullptr || record.end >= held->end) held = &record;
    }
    for (const auto& [id, record] : newest) {
        StationFacts& facts = Entry(id);
        Rename(facts, record->name);
        if (facts.lastEnd == record->end) facts.lastRecordMagV = record->measures[0];
    }
    for (const StationReport& report : batch.reports) ApplyReport(report);
}

void StationBoard::ApplyReport(const StationReport& report) {
    StationFacts& facts = Entry(report.station);
    if (!report.name.isEmpty()) Rename(facts, report.name);
    if (report.kind == StationReport::Kind::Availability) {
        facts.availability = report.text;
    } else {
        facts.state = report.text ? ParseState(report.text->toUtf8()) : StationState{};
    }
}

void StationBoard::SetLastNight(const QString& id, std::optional<double> median) {
    const std::lock_guard lock(mutex_);
    const auto held = stations_.find(id);
    if (held != stations_.end()) held->second.lastNightMedian = median;
}

void StationBoard::Forget(const QString& id) {
    const std::lock_guard lock(mutex_);
    const auto held = stations_.find(id);
    if (held == stations_.end()) return;
    byName_.erase(KeyOf(held->second));
    stations_.erase(held);
}

std::vector<StationFacts> StationBoard::Copy() const {
    const std::lock_guard lock(mutex_);
    std::vector<StationFacts> copy;
    copy.reserve(stations_.size());
    for (const NameKey& key : byName_) copy.push_back(stations_.at(key.second));
    return copy;
}

}  // namespace noxa
