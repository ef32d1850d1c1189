#include "archive/archive_ingest.h"

#include "archive/confirmation.h"
#include "archive/record_json.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <algorithm>

namespace noxa {
namespace {

constexpr std::size_t kBatchRecords = 1000;
constexpr int kBatchMs = 50;
// A backlog (a catch-up, a flood) is stored in larger transactions: fewer commits to wait for.
constexpr std::size_t kMostPerCommit = 5000;
// What is held while the database is away: this many records taken, as many waiting in the
// inbox; then the network thread stops reading and the broker keeps the rest.
constexpr std::size_t kMostHeld = 20000;
// A database that answers again is used within this many seconds.
constexpr int kLastRetrySeconds = 2;

std::int64_t NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

}  // namespace

ArchiveIngest::ArchiveIngest(RecordStore& store, ArchiveCounters& counters, std::string topicPrefix,
                             std::string archiveName, Log log)
    : store_(store),
      counters_(counters),
      topicPrefix_(std::move(topicPrefix)),
      archiveName_(std::move(archiveName)),
      log_(std::move(log)),
      inbox_(kMostHeld, [this] {
          QMetaObject::invokeMethod(this, &ArchiveIngest::TakeMessages, Qt::QueuedConnection);
      }) {
    commitTimer_.setSingleShot(true);
    retryTimer_.setSingleShot(true);
    connect(&commitTimer_, &QTimer::timeout, this, &ArchiveIngest::CommitNext);
    connect(&retryTimer_, &QTimer::timeout, this, &ArchiveIngest::ConnectDatabase);
}

void ArchiveIngest::Start() {
    ConnectDatabase();
}

void ArchiveIngest::ConnectDatabase() {
    QString error;
    const std::string shown = store_.Target().Shown().toStdString();
    if (!store_.Open(error)) {
        DatabaseFailed(error);
        return;
    }
    counters_.databaseUp = true;
    retrySeconds_ = 1;
    if (databaseLost_) {
        log_.Warning("Database " + shown + " back; storing the " +
                     std::to_string(counters_.recordsWaiting) + " records held.");
    } else {
        log_.Info("Database " + shown + " open, " + std::to_string(store_.Stations().size()) +
                  " stations known.");
    }
    databaseLost_ = false;
    if (opened_) opened_();
    TakeMessages();
}

void ArchiveIngest::DatabaseFailed(const QString& error) {
    store_.Close();
    counters_.databaseUp = false;
    if (!databaseLost_) {
        log_.Error("Database " + store_.Target().Shown().toStdString() +
                   " unavailable: " + error.simplified().left(300).toStdString() +
                   "; holding what arrives and retrying.");
        databaseLost_ = true;
    }
    retryTimer_.start(retrySeconds_ * 1000);
    retrySeconds_ = std::min(retrySeconds_ * 2, kLastRetrySeconds);
}

void ArchiveIngest::TakeMessages() {
    while (pending_.records.size() < kMostHeld) {
        std::vector<IncomingMessage> taken =
            inbox_.Take(std::min(kBatchRecords, kMostHeld - pending_.records.size()));
        if (taken.empty()) break;
        for (IncomingMessage& message : taken) Accept(std::move(message));
    }
    UpdateWaiting();
    ScheduleCommit();
}

void ArchiveIngest::Accept(IncomingMessage message) {
    if (message.refusal) {
        Refuse(message.station, *message.refusal);
        return;
    }
    if (message.kind != IncomingMessage::Kind::Record) {
        AcceptReport(message);
        return;
    }
    if (!message.record) {
        ++counters_.recordsRejected;
        if (faults_.First(message.station, message.fault)) {
            log_.Warning("Station " + Shown(message.station) + ": unreadable record (" +
                         message.fault + "); such records are counted, not stored.");
        }
        return;
    }
    ArchivedRecord& record = *message.record;
    if (const std::optional<Refusal> refusal = RefusalOf(record, message.arrivedMs)) {
        Refuse(record.station, *refusal);
        if (RefusedButLinked(*refusal))
            pending_.refusedLinks.push_back({record.station, record.end, record.previousEnd});
        return;
    }
    DropNegativeZeros(record);
    pending_.records.push_back(std::move(record));
}

void ArchiveIngest::Refuse(const QString& station, Refusal refusal) {
    ++counters_.refused[static_cast<std::size_t>(refusal)];
    if (faults_.First(station, RefusalLabel(refusal))) {
        log_.Warning("Station " + Shown(station) + ": message refused, " + RefusalText(refusal) +
                     "; such messages are counted, not stored.");
    }
}

void ArchiveIngest::AcceptReport(const IncomingMessage& message) {
    StationReport report;
    const bool state = message.kind == IncomingMessage::Kind::State;
    report.kind = state ? StationReport::Kind::State : StationReport::Kind::Availability;
    report.station = message.station;
    report.arrivedMs = message.arrivedMs;
    if (!message.payload.isEmpty()) report.text = QString::fromUtf8(message.payload).trimmed();
    if (state) report.name = NameOfState(message.payload);
    if (!IsUsableDisplayName(report.name)) {
        Refuse(message.station, Refusal::StationName);
        return;
    }
    auto same = std::find_if(pending_.reports.begin(), pending_.reports.end(), [&](auto& held) {
        return held.kind == report.kind && held.station == report.station;
    });
    if (same != pending_.reports.end()) {
        *same = std::move(report);
    } else {
        pending_.reports.push_back(std::move(report));
    }
}

void ArchiveIngest::ScheduleCommit() {
    if (!store_.IsOpen() || pending_.Empty()) return;
    if (pending_.records.size() >= kBatchRecords) {
        commitTimer_.start(0);
    } else if (!commitTimer_.isActive()) {
        commitTimer_.start(kBatchMs);
    }
}

void ArchiveIngest::CommitNext() {
    if (!store_.IsOpen() || pending_.Empty()) return;
    const std::size_t count = std::min(kMostPerCommit, pending_.records.size());
    ArchiveBatch batch;
    batch.records.assign(pending_.records.begin(), pending_.records.begin() + count);
    batch.reports = pending_.reports;
    batch.refusedLinks = pending_.refusedLinks;
    QElapsedTimer timer;
    timer.start();
    const std::int64_t startedMs = NowMs();
    CommitOutcome outcome;
    QString error;
    if (!store_.Commit(batch, startedMs, outcome, error)) {
        DatabaseFailed(error);
        return;
    }
    pending_.records.erase(pending_.records.begin(), pending_.records.begin() + count);
    pending_.reports.clear();
    pending_.refusedLinks.clear();
    CountCommit(outcome, timer.nsecsElapsed() / 1e9, NowMs());
    if (committed_) committed_(batch, outcome);
    for (const auto& [station, name] : outcome.newStations) {
        log_.Info("New station: " + Shown(station) + " (" + Shown(name) + ")");
    }
    Confirm(outcome);
    TakeMessages();
}

void ArchiveIngest::CountCommit(const CommitOutcome& outcome, double seconds,
                                std::int64_t committedMs) {
    counters_.recordsArchived += outcome.inserted;
    counters_.recordsRepeated += outcome.repeated;
    noxa::CountCommit(counters_, seconds);
    if (outcome.inserted > 0) {
        counters_.lastEndToCommitSeconds = (committedMs - outcome.oldestInsertedEnd) / 1000.0;
    }
}

void ArchiveIngest::Confirm(const CommitOutcome& outcome) {
    if (!publish_) return;
    for (const auto& [station, chain] : outcome.touched) {
        publish_(topicPrefix_ + "/" + station.toStdString() + "/archived/" + archiveName_,
                 ConfirmationJson(chain));
    }
}

void ArchiveIngest::UpdateWaiting() {
    counters_.recordsWaiting = pending_.records.size() + inbox_.Size();
}

void ArchiveIngest::Finish() {
    commitTimer_.stop();
    TakeMessages();
    commitTimer_.stop();
    while (store_.IsOpen() && !pending_.Empty()) CommitNext();
}

}  // namespace noxa
