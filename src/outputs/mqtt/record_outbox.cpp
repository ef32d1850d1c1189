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
    // The archives known before the restart still hold back what they have not confirmed,
    // until their own confirmations come (a broker may not hand retained messages to a
    // wildcard subscription). Until then they count as having everything before the oldest
    // record held, which is what the last run knew, and nothing newer.
    const std::optional<UtcMilliseconds> confirmed =
        ledger_.Held() > 0 ? ledger_.OldestPreviousEnd() : contents.lastEnd;
    for (const std::string& archive : contents.archives)
        ledger_.Confirmed(archive, ArchiveConfirmation{confirmed, confirmed}, now_());
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

void RecordOutbox::Confirmation(const std::string& archive, const QByteArray& payload) {
    std::optional<ArchiveConfirmation> confirmation;
    if (!payload.isEmpty()) {
        confirmation = ParseConfirmation(payload);
        if (!confirmation) {
            if (unreadable_.insert(archive).second) {
                log_.Warning("MQTT: the confirmation of archive \"" + archive +
                             "\" cannot be read; ignored");
            }
            return;
        }
        if (unreadable_.erase(archive) > 0)
            log_.Info("MQTT: the confirmation of archive \"" + archive + "\" is readable again");
    }
    if (!confirmation && ledger_.KnowsArchive(archive)) {
        log_.Info("MQTT: archive \"" + archive + "\" withdrew its confirmation");
        journal_.NoteArchive(archive, false);
    } else if (confirmation && !ledger_.KnowsArchive(archive)) {
        log_.Info("MQTT: archive \"" + archive + "\" confirms records");
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
