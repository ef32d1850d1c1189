#pragma once

#include "core/station_log.h"
#include "outputs/mqtt/record_journal.h"
#include "outputs/mqtt/record_ledger.h"

#include <QByteArray>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace noxa {

// A record's JSON on its way to the network thread.
struct OutgoingRecord {
    UtcMilliseconds end = 0;
    QByteArray payload;
};

// The station's side of the record network, on the station's thread: each new record goes to
// the journal, then to the broker; acknowledgements and the archives' confirmations decide
// when it is done and what is sent again (see RecordLedger). Says in the log when records
// start waiting for the broker and when they are through, when records are given up, and when
// an archive's confirmation cannot be read.
class RecordOutbox {
public:
    using Send = std::function<void(std::vector<OutgoingRecord> records)>;
    using Clock = std::function<UtcMilliseconds()>;

    RecordOutbox(std::string journalPath, int backlogDays, Clock now, Log log, Send send);

    // Believes only these archives' confirmations (before Start); none given: every archive's.
    void TrustOnly(std::set<std::string> archives) { trusted_ = std::move(archives); }
    // Reads what the journal held from the last run.
    void Start();
    // A new record's JSON made by `json(previousEnd)`.
    void Add(UtcMilliseconds end,
             const std::function<QByteArray(std::optional<UtcMilliseconds>)>& json);
    // The broker took the subscription to the confirmations: records may go.
    void Connected();
    void Disconnected();
    void Acknowledged(UtcMilliseconds end);
    // A retained message on "<prefix>/archived/<archive>"; empty: the archive is gone.
    void Confirmation(const std::string& archive, const QByteArray& payload);

    std::size_t Held() const { return ledger_.Held(); }

private:
    // Whether the archive's confirmations count; says once of each that does not.
    bool Trusted(const std::string& archive);
    // A confirmation through a record never sent: said once, and not believed.
    bool BeyondSent(const std::string& archive, const ArchiveConfirmation& confirmation);
    void GiveUpOld();
    // Hands what is due to the network, writes what is done, says what changed.
    void Settle();

    RecordJournal journal_;
    RecordLedger ledger_;
    int backlogDays_;
    Clock now_;
    Log log_;
    Send send_;
    bool connected_ = false;
    bool waiting_ = false;              // "records wait for the broker" was said
    std::size_t waited_ = 0;            // the most records unacknowledged since
    bool behind_ = false;               // the clock is behind the last record sent
    std::set<std::string> unreadable_;  // archives whose last confirmation was unreadable
    std::set<std::string> trusted_;     // empty: every archive
    std::set<std::string> untrusted_;   // archives not trusted, said in the log
    std::set<std::string> beyond_;      // archives whose last confirmation went beyond
};

}  // namespace noxa
