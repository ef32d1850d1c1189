#include "outputs/mqtt/record_ledger.h"

#include <algorithm>
#include <utility>

namespace noxa {

void RecordLedger::Add(HeldRecord record) {
    const UtcMilliseconds end = record.end;
    Entry entry;
    entry.record = std::move(record);
    if (const auto old = held_.find(end); old != held_.end() && !old->second.acknowledged)
        --unacknowledged_;
    held_[end] = std::move(entry);
    ++unacknowledged_;
    due_[end] = false;
    RememberLastEnd(end);
}

void RecordLedger::RememberLastEnd(std::optional<UtcMilliseconds> end) {
    if (end && (!lastEnd_ || *end > *lastEnd_)) lastEnd_ = end;
}

void RecordLedger::RememberSent(std::optional<UtcMilliseconds> end) {
    if (end && (!newestSent_ || *end > *newestSent_)) newestSent_ = end;
}

void RecordLedger::Connected() {
    connected_ = true;
    inFlight_.clear();
    for (const auto& [end, entry] : held_) due_.try_emplace(end, false);
}

void RecordLedger::Disconnected() {
    connected_ = false;
    inFlight_.clear();
}

std::vector<DueRecord> RecordLedger::TakeDue() {
    std::vector<DueRecord> due;
    if (!connected_) return due;
    while (!due_.empty() && inFlight_.size() < limits_.window) {
        const auto [end, withoutPreviousEnd] = *due_.begin();
        due_.erase(due_.begin());
        const auto at = held_.find(end);
        if (at == held_.end()) continue;
        at->second.sent = true;
        RememberSent(end);
        inFlight_.insert(end);
        due.push_back({end, at->second.record.json, withoutPreviousEnd});
    }
    return due;
}

void RecordLedger::Acknowledged(UtcMilliseconds end) {
    inFlight_.erase(end);
    const auto at = held_.find(end);
    if (at == held_.end()) return;
    if (!at->second.acknowledged) --unacknowledged_;
    at->second.acknowledged = true;
    if (Done(at->second)) Retire(at);
}

void RecordLedger::Confirmed(const std::string& archive,
                             std::optional<ArchiveConfirmation> confirmation, UtcMilliseconds now) {
    if (!confirmation) {
        archives_.erase(archive);
    } else {
        archives_[archive] = *confirmation;
        RestartChain(*confirmation, now);
        ResendGap(*confirmation, now);
    }
    RetireAllDone();
}

void RecordLedger::ResendGap(const ArchiveConfirmation& c, UtcMilliseconds now) {
    if (!c.newest || (c.through && *c.newest <= *c.through)) return;
    auto at = c.through ? held_.upper_bound(*c.through) : held_.begin();
    for (; at != held_.end() && at->first < *c.newest; ++at) {
        if (at->second.sent && inFlight_.count(at->first) == 0) Resend(at->second, false, now);
    }
}

void RecordLedger::RestartChain(const ArchiveConfirmation& c, UtcMilliseconds now) {
    if (held_.empty() || inFlight_.count(held_.begin()->first) > 0) return;
    Entry& oldest = held_.begin()->second;
    const std::optional<UtcMilliseconds>& previous = oldest.record.previousEnd;
    const bool unreachable = !c.through || (previous && *c.through < *previous);
    if (unreachable && oldest.sent) Resend(oldest, true, now);
}

void RecordLedger::Resend(Entry& entry, bool withoutPreviousEnd, UtcMilliseconds now) {
    if (entry.resent && now - *entry.resent < limits_.resendPause) return;
    entry.resent = now;
    due_[entry.record.end] |= withoutPreviousEnd;
}

std::vector<UtcMilliseconds> RecordLedger::GiveUpBefore(UtcMilliseconds cutoff) {
    std::vector<UtcMilliseconds> given;
    while (!held_.empty() && held_.begin()->first < cutoff) {
        const UtcMilliseconds end = held_.begin()->first;
        if (!held_.begin()->second.acknowledged) --unacknowledged_;
        given.push_back(end);
        held_.erase(held_.begin());
        due_.erase(end);
        inFlight_.erase(end);
    }
    if (!given.empty() && !held_.empty()) due_[held_.begin()->first] = true;
    return given;
}

std::vector<UtcMilliseconds> RecordLedger::TakeDone() {
    return std::exchange(done_, {});
}

std::set<std::string> RecordLedger::Archives() const {
    std::set<std::string> names;
    for (const auto& [name, confirmation] : archives_) names.insert(name);
    return names;
}

std::vector<QByteArray> RecordLedger::HeldJson() const {
    std::vector<QByteArray> json;
    json.reserve(held_.size());
    for (const auto& [end, entry] : held_) json.push_back(entry.record.json);
    return json;
}

bool RecordLedger::Done(const Entry& entry) const {
    if (!entry.acknowledged) return false;
    return std::all_of(archives_.begin(), archives_.end(), [&](const auto& archive) {
        const std::optional<UtcMilliseconds>& through = archive.second.through;
        return through && *through >= entry.record.end;
    });
}

void RecordLedger::Retire(std::map<UtcMilliseconds, Entry>::iterator at) {
    done_.push_back(at->first);
    due_.erase(at->first);
    inFlight_.erase(at->first);
    held_.erase(at);
}

void RecordLedger::RetireAllDone() {
    for (auto at = held_.begin(); at != held_.end();) {
        const auto next = std::next(at);
        if (Done(at->second)) Retire(at);
        at = next;
    }
}

}  // namespace noxa
