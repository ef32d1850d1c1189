#pragma once

#include "archive/archive_batch.h"
#include "archive/archive_counters.h"
#include "archive/fault_log.h"
#include "archive/message_inbox.h"
#include "archive/record_store.h"
#include "core/station_log.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <string>

namespace noxa {

// The archive's main-thread work: takes what the network thread received, stores it in
// batches (a transaction every 50 ms or 1000 records, up to 5000 of a backlog), publishes each
// touched station's confirmation after the commit, and holds what it received while the
// database is away.
class ArchiveIngest : public QObject {
    Q_OBJECT

public:
    using Publish = std::function<void(const std::string& topic, const QByteArray& payload)>;

    ArchiveIngest(RecordStore& store, ArchiveCounters& counters, std::string topicPrefix,
                  std::string archiveName, Log log);

    // Where the network thread leaves messages.
    MessageInbox& Inbox() { return inbox_; }
    void SetPublish(Publish publish) { publish_ = std::move(publish); }
    // Told each time the database opens, before anything is stored through it, and after
    // each commit with what it stored.
    using Opened = std::function<void()>;
    using Committed = std::function<void(const ArchiveBatch& batch, const CommitOutcome& outcome)>;
    void WatchStore(Opened opened, Committed committed) {
        opened_ = std::move(opened);
        committed_ = std::move(committed);
    }
    // Opens the database, or keeps trying.
    void Start();
    // Stores what is held, as far as the database lets it, before the archive ends.
    void Finish();

private:
    void TakeMessages();
    void Accept(IncomingMessage message);
    void AcceptReport(const IncomingMessage& message);
    // Counts the refused message and says so once per station and kind.
    void Refuse(const QString& station, Refusal refusal);
    void ScheduleCommit();
    void CommitNext();
    void Confirm(const CommitOutcome& outcome);
    void CountCommit(const CommitOutcome& outcome, double seconds, std::int64_t committedMs);
    void ConnectDatabase();
    void DatabaseFailed(const QString& error);
    void UpdateWaiting();

    RecordStore& store_;
    ArchiveCounters& counters_;
    const std::string topicPrefix_, archiveName_;
    Log log_;
    Publish publish_;
    Opened opened_;
    Committed committed_;
    MessageInbox inbox_;
    ArchiveBatch pending_;  // received, not committed; records in order of arrival
    FaultLog faults_;
    QTimer commitTimer_, retryTimer_;
    int retrySeconds_ = 1;
    bool databaseLost_ = false;  // the loss was said; the return will be
};

}  // namespace noxa
