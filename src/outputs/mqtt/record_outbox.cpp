#include "outputs/mqtt/record_outbox.h"

#include <algorithm>
#include <utility>

namespace noxa {
namespace {

constexpr UtcMilliseconds kDay = 24 * 3600 * 1000LL;

std::string Records(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " record" : " records");
}

// "1 record waits", "3 records wait".
std::string Waiting(std::size_t count) {
    return Records(count) + (count == 1 ? " waits" : " wait") + " for the broker";
}

// An archive's name as the topic gave it, fit for one log line: at most 64 bytes, control
// characters as '?'.
std::string Shown(const std::string& name) {
    std::string shown = name.substr(0, 64);
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return shown + (name.size() > 64 ? "..." : "");
}

constexpr qsizetype kMostConfirmationBytes = 1024;

// Archive names not trusted that are said in the log; more are ignored without a word.
constexpr std::size_t kMostUntrustedSaid = 100;

}  // namespace

RecordOutbox::RecordOutbox(std::string journalPath, int backlogDays, Clock now, Log log, Send send)
    : journal_(std::move(journalPath), log),
      backlogDays_(backlogDays),
      now_(std::move(now)),
      log_(std::move(log)),
      send_(std::move(send)) {}

void RecordOutbox::Start() {
    JournalContents contents = journal_.Load();
    for (QByteArray& json : contents.records) {
        if (const auto chain = ReadRecordChain(json))
            ledger_.Add({chain->end, chain->previousEnd, std::move(json)});
    }
    ledger_.RememberLastEnd(contents.lastEnd);
    // What an earlier run journaled counts as sent: it may have gone before the run ended.
    ledger_.RememberSent(contents.lastEnd);
    // The archives known before the restart still hold back what they have not confirmed,
    // until their own confirmations come (a broker may not hand retained messages to a
    // wildcard subscription). Until then they count as having everything before the oldest
    // record held, which is what the last run knew, and nothing newer.
    const std::optional<UtcMilliseconds> confirmed =
        ledger_.Held() > 0 ? ledger_.OldestPreviousEnd() : contents.lastEnd;
    for (const std::string& archive : contents.archives) {
        if (Trusted(archive))
            ledger_.Confirmed(archive, ArchiveConfirmation{confirmed, confirmed}, now_());
    }
    GiveUpOld();
    if (ledger_.Held() > 0) {
        log_.Info("MQTT: " + Records(ledger_.Held()) + " from " + journal_.Path() +
                  " to be sent again");
    }
}

void RecordOutbox::Add(UtcMilliseconds end,
                       const std::function<QByteArray(std::optional<UtcMilliseconds>)>& json) {
    const std::optional<UtcMilliseconds> previousEnd = ledger_.LastEnd();
    // The archives' chains run forwards: a record of a clock set back is not sent.
    const bool behind = previousEnd && end <= *previousEnd;
    if (behind != behind_) {
        behind_ = behind;
        if (behind) {
            log_.Warning("MQTT: records end before " + UtcText(*previousEnd).toStdString() +
                         ", the last one sent (the clock went back); they are not sent");
        } else {
            log_.Info("MQTT: records are sent again, the clock has passed the last one sent");
        }
    }
    if (behind) return;
    HeldRecord record{end, previousEnd, json(previousEnd)};
    journal_.Append(record.json);  // a failure is said by the journal; the record still goes
    ledger_.Add(std::move(record));
    GiveUpOld();
    if (!connected_ && !waiting_) {
        waiting_ = true;
        log_.Warning("MQTT: " + Waiting(ledger_.Unacknowledged()));
    }
    Settle();
}

void RecordOutbox::Connected() {
    connected_ = true;
    ledger_.Connected();
    GiveUpOld();
    Settle();
}

void RecordOutbox::Disconnected() {
    connected_ = false;
    ledger_.Disconnected();
    if (!waiting_ && ledger_.Unacknowledged() > 0) {
        waiting_ = true;
        log_.Warning("MQTT: " + Waiting(ledger_.Unacknowledged()));
    }
}

void RecordOutbox::Acknowledged(UtcMilliseconds end) {
    ledger_.Acknowledged(end);
    Settle();
}

bool RecordOutbox::Trusted(const std::string& archive) {
    if (trusted_.empty() || trusted_.count(archive) > 0) return true;
    if (untrusted_.size() < kMostUntrustedSaid && untrusted_.insert(archive).second) {
        log_.Warning("MQTT: archive \"" + Shown(archive) +
                     "\" is not among [mqtt] archives; its confirmations are ignored");
    }
    return false;
}

bool RecordOutbox::BeyondSent(const std::string& archive, const ArchiveConfirmation& c) {
    const std::optional<UtcMilliseconds> sent = ledger_.NewestSent();
    if (!c.through || (sent && *c.through <= *sent)) {
        beyond_.erase(archive);
        return false;
    }
    if (beyond_.insert(archive).second) {
        log_.Warning("MQTT: archive \"" + Shown(archive) + "\" confirms records through " +
                     UtcText(*c.through).toStdString() +
                     ", beyond the newest one sent; its confirmation is ignored");
    }
    return true;
}

void RecordOutbox::Confirmation(const std::string& archive, const QByteArray& payload) {
    if (!Trusted(archive)) return;
    std::optional<ArchiveConfirmation> confirmation;
    if (!payload.isEmpty()) {
        // A confirmation takes under 100 bytes: a larger payload is not even read.
        if (payload.size() <= kMostConfirmationBytes) confirmation = ParseConfirmation(payload);
        if (!confirmation) {
            if (unreadable_.insert(archive).second) {
                log_.Warning("MQTT: the confirmation of archive \"" + Shown(archive) +
                             "\" cannot be read; ignored");
            }
            return;
        }
        if (unreadable_.erase(archive) > 0)
            log_.Info("MQTT: the confirmation of archive \"" + Shown(archive) +
                      "\" is readable again");
        if (BeyondSent(archive, *confirmation)) return;
    }
    if (!confirmation && ledger_.KnowsArchive(archive)) {
        log_.Info("MQTT: archive \"" + Shown(archive) + "\" withdrew its confirmation");
        journal_.NoteArchive(archive, false);
    } else if (confirmation && !ledger_.KnowsArchive(archive)) {
        log_.Info("MQTT: archive \"" + Shown(archive) + "\" confirms records");
        journal_.NoteArchive(archive, true);
    }
    ledger_.Confirmed(archive, confirmation, now_());
    Settle();
}

void RecordOutbox::GiveUpOld() {
    const std::vector<UtcMilliseconds> given = ledger_.GiveUpBefore(now_() - backlogDays_ * kDay);
    if (given.empty()) return;
    journal_.MarkDone(given);
    log_.Warning("MQTT: gave up " + Records(given.size()) + " older than " +
                 std::to_string(backlogDays_) + " days that did not reach every archive");
}

void RecordOutbox::Settle() {
    std::vector<OutgoingRecord> outgoing;
    for (DueRecord& due : ledger_.TakeDue()) {
        outgoing.push_back(
            {due.end, due.withoutPreviousEnd ? WithoutPreviousEnd(due.json) : std::move(due.json)});
    }
    if (!outgoing.empty()) send_(std::move(outgoing));
    journal_.MarkDone(ledger_.TakeDone());
    if (journal_.Wasteful(ledger_.Held()))
        journal_.Rewrite(ledger_.HeldJson(), ledger_.LastEnd(), ledger_.Archives());
    if (!waiting_) return;
    const std::size_t unacknowledged = ledger_.Unacknowledged();
    waited_ = std::max(waited_, unacknowledged);
    if (connected_ && unacknowledged == 0) {
        waiting_ = false;
        log_.Info("MQTT: the " + Records(std::exchange(waited_, 0)) +
                  " that waited reached the broker");
    }
}

}  // namespace noxa
