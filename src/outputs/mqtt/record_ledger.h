#pragma once

#include "core/observation.h"
#include "outputs/mqtt/record_json.h"

#include <QByteArray>

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace noxa {

// A record the station holds until it is done.
struct HeldRecord {
    UtcMilliseconds end = 0;
    std::optional<UtcMilliseconds> previousEnd;
    QByteArray json;
};

// A record to hand to the broker now.
struct DueRecord {
    UtcMilliseconds end = 0;
    QByteArray json;
    bool withoutPreviousEnd = false;  // send it with "previous_end" null
};

// Which records still have to reach the archives, and which to send when: no network, no
// files, no clock of its own, so every rule can be tried by itself.
//
// A record is done once the broker acknowledged it and every archive known (one that sent a
// confirmation and did not take it back) confirmed it (through >= its end); with no archive
// known, the acknowledgement alone does. Records are sent oldest first, at most `window` of
// them unacknowledged at a time. Every record not done is sent again after each
// (re)connection. A confirmation sends again the records of a gap (through < end < newest)
// that were sent before, and the oldest record with "previous_end" null when the archive's
// chain cannot reach it (through null, or older than that record's previous end); neither
// while the record is in flight, and each record at most once per `resendPause`.
class RecordLedger {
public:
    struct Limits {
        std::size_t window = 100;
        UtcMilliseconds resendPause = 30'000;
    };
    explicit RecordLedger(Limits limits) : limits_(limits) {}
    RecordLedger() : RecordLedger(Limits{}) {}

    // A record newer than every one held.
    void Add(HeldRecord record);
    // The newest end ever added (or remembered): the next record's previous end.
    std::optional<UtcMilliseconds> LastEnd() const { return lastEnd_; }
    void RememberLastEnd(std::optional<UtcMilliseconds> end);
    // The newest end handed to the broker (or, from an earlier run, remembered as sent): no
    // archive can have stored a record beyond it.
    std::optional<UtcMilliseconds> NewestSent() const { return newestSent_; }
    void RememberSent(std::optional<UtcMilliseconds> end);

    void Connected();
    void Disconnected();
    // The records to send now, oldest first; they count as in flight until acknowledged.
    std::vector<DueRecord> TakeDue();
    void Acknowledged(UtcMilliseconds end);
    // An archive's confirmation at `now`; none: the archive took it back (empty retained
    // message) and no longer counts.
    void Confirmed(const std::string& archive, std::optional<ArchiveConfirmation> confirmation,
                   UtcMilliseconds now);
    // Drops the records that ended before `cutoff`; the oldest one kept is then sent again
    // with "previous_end" null. Returns the ends given up.
    std::vector<UtcMilliseconds> GiveUpBefore(UtcMilliseconds cutoff);
    // The ends of the records done since the last call; they are no longer held.
    std::vector<UtcMilliseconds> TakeDone();

    std::size_t Held() const { return held_.size(); }
    std::size_t Unacknowledged() const { return unacknowledged_; }
    std::vector<QByteArray> HeldJson() const;
    bool KnowsArchive(const std::string& archive) const { return archives_.count(archive) > 0; }
    std::set<std::string> Archives() const;
    // The "previous_end" of the oldest record held; none when none is held or it has none.
    std::optional<UtcMilliseconds> OldestPreviousEnd() const {
        return held_.empty() ? std::nullopt : held_.begin()->second.record.previousEnd;
    }

private:
    struct Entry {
        HeldRecord record;
        bool acknowledged = false;
        bool sent = false;
        std::optional<UtcMilliseconds> resent;  // when a confirmation last sent it again
    };

    bool Done(const Entry& entry) const;
    void Retire(std::map<UtcMilliseconds, Entry>::iterator at);
    void RetireAllDone();
    // Sends it again unless a confirmation did so less than `resendPause` ago.
    void Resend(Entry& entry, bool withoutPreviousEnd, UtcMilliseconds now);
    void ResendGap(const ArchiveConfirmation& confirmation, UtcMilliseconds now);
    void RestartChain(const ArchiveConfirmation& confirmation, UtcMilliseconds now);

    Limits limits_;
    std::map<UtcMilliseconds, Entry> held_;
    std::map<UtcMilliseconds, bool> due_;  // end -> without "previous_end"
    std::set<UtcMilliseconds> inFlight_;
    std::map<std::string, ArchiveConfirmation> archives_;
    std::vector<UtcMilliseconds> done_;
    std::optional<UtcMilliseconds> lastEnd_;
    std::optional<UtcMilliseconds> newestSent_;
    std::size_t unacknowledged_ = 0;  // held records the broker did not acknowledge
    bool connected_ = false;
};

}  // namespace noxa
