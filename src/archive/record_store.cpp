#include "archive/record_store.h"

#include "archive/archive_schema.h"
#include "archive/record_insert.h"
#include "archive/record_plausibility.h"
#include "archive/station_chain.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace noxa {
namespace {

// Each key once: of records with the same key the one with the earliest previous end (null
// first) stays, as a repeat would lower it; in order of station and end.
std::vector<const ArchivedRecord*> DistinctRecords(const std::vector<ArchivedRecord>& records) {
    std::vector<const ArchivedRecord*> sorted;
    sorted.reserve(records.size());
    for (const ArchivedRecord& record : records) sorted.push_back(&record);
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto* a, const auto* b) {
        if (a->station != b->station) return a->station < b->station;
        if (a->end != b->end) return a->end < b->end;
        return a->previousEnd.value_or(INT64_MIN) < b->previousEnd.value_or(INT64_MIN);
    });
    const auto same = [](const auto* a, const auto* b) {
        return a->station == b->station && a->end == b->end;
    };
    sorted.erase(std::unique(sorted.begin(), sorted.end(), same), sorted.end());
    return sorted;
}

// Text that both engines take: PostgreSQL refuses the NUL character.
QString Storable(QString text) {
    return text.remove(QChar(0));
}

}  // namespace

void RecordStore::AddRefusedLinks(
    const std::vector<RefusedLink>& refused, CommitOutcome& outcome,
    std::map<QString, std::vector<ChainLink>>& links,
    std::map<QString, std::optional<std::int64_t>>& storedNewest) const {
    std::set<QString> linked;
    for (const RefusedLink& link : refused) {
        // Only a chain that holds records already is carried on: a refused record never makes
        // a station.
        const auto known = stations_.find(link.station);
        if (known == stations_.end() || !known->second.through) continue;
        const StationChain& chain =
            outcome.touched.try_emplace(link.station, known->second).first->second;
        storedNewest.try_emplace(link.station, chain.newest);
        links[link.station].push_back({link.end, link.previousEnd});
        linked.insert(link.station);
    }
    for (const QString& station : linked) {
        std::vector<ChainLink>& ordered = links[station];
        std::stable_sort(ordered.begin(), ordered.end(),
                         [](const auto& a, const auto& b) { return a.end < b.end; });
    }
}

RecordStore::RecordStore(DatabaseTarget target, QString password, QString connectionName)
    : target_(std::move(target)),
      password_(std::move(password)),
      connection_(std::move(connectionName)) {}

RecordStore::~RecordStore() {
    Close();
    QSqlDatabase::removeDatabase(connection_);
}

bool RecordStore::Configure(QSqlDatabase& db, QString& error) {
    if (target_.engine == DatabaseTarget::Engine::Postgres) {
        // The server's notices ("relation ... already exists, skipping") are no news.
        QSqlQuery query(db);
        if (query.exec("SET client_min_messages = warning")) return true;
        error = query.lastError().text();
        return false;
    }
    // The web side reads while the ingest writes; each commit is on disk when it returns.
    for (const char* pragma : {"PRAGMA journal_mode = WAL", "PRAGMA synchronous = FULL"}) {
        QSqlQuery query(db);
        if (!query.exec(pragma)) {
            error = query.lastError().text();
            return false;
        }
    }
    return true;
}

bool RecordStore::Open(QString& error) {
    Close();
    QSqlDatabase db = QSqlDatabase::contains(connection_)
                          ? QSqlDatabase::database(connection_, false)
                          : QSqlDatabase::addDatabase(target_.Driver(), connection_);
    if (!db.isValid()) {
        error = "no Qt SQL driver " + target_.Driver() + " (install libqt6sql6-" +
                (target_.engine == DatabaseTarget::Engine::Sqlite ? "sqlite" : "psql") + ")";
        return false;
    }
    if (target_.engine == DatabaseTarget::Engine::Sqlite) {
        db.setDatabaseName(target_.path);
        db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=2000");
    } else {
        db.setHostName(target_.host);
        db.setPort(target_.port);
        db.setUserName(target_.user);
        db.setDatabaseName(target_.database);
        db.setPassword(password_);
        db.setConnectOptions("connect_timeout=5");
    }
    if (!db.open()) {
        error = db.lastError().text();
        return false;
    }
    if (!Configure(db, error) || !UpgradeSchema(db, target_.engine, error) ||
        !LoadStations(error)) {
        db.close();
        return false;
    }
    open_ = true;
    return true;
}

void RecordStore::Close() {
    statements_.Clear();
    partitions_.clear();
    open_ = false;
    if (QSqlDatabase::contains(connection_)) Database().close();
}

bool RecordStore::LoadStations(QString& error) {
    QSqlQuery query(Database());
    if (!query.exec("SELECT station, through, last_end, first_end, records FROM stations")) {
        error = query.lastError().text();
        return false;
    }
    const auto optional = [](const QVariant& value) {
        return value.isNull() ? std::nullopt : std::optional<std::int64_t>(value.toLongLong());
    };
    stations_.clear();
    // A chain head ahead of the clock (stored before such records were refused) is forgotten:
    // the station then starts the chain again.
    const std::int64_t latestMs = QDateTime::currentMSecsSinceEpoch() + kMostAheadMs;
    while (query.next()) {
        StationChain& chain = stations_[query.value(0).toString()];
        chain.through = optional(query.value(1));
        if (chain.through > latestMs) chain.through.reset();
        chain.newest = optional(query.value(2));
        chain.oldest = optional(query.value(3));
        chain.records = query.value(4).toLongLong();
    }
    return true;
}

bool RecordStore::Commit(const ArchiveBatch& batch, std::int64_t nowMs, CommitOutcome& outcome,
                         QString& error) {
    // Most batches hold only new records and are stored without asking which were new; one
    // that held a record stored before is stored again, asking.
    Stored stored = Transact(batch, nowMs, false, outcome, error);
    if (stored == Stored::HadRepeats) stored = Transact(batch, nowMs, true, outcome, error);
    return stored == Stored::Done;
}

RecordStore::Stored RecordStore::Transact(const ArchiveBatch& batch, std::int64_t nowMs,
                                          bool returning, CommitOutcome& outcome, QString& error) {
    QSqlDatabase db = Database();
    if (!db.transaction()) {
        error = db.lastError().text();
        return Stored::Failed;
    }
    std::set<QString> partitions = partitions_;
    outcome = {};
    bool repeats = false;
    if (!Store(db, batch, nowMs, returning, outcome, partitions, repeats, error) || !db.commit()) {
        if (error.isEmpty() && !repeats) error = db.lastError().text();
        db.rollback();
        outcome = {};
        return repeats ? Stored::HadRepeats : Stored::Failed;
    }
    partitions_ = std::move(partitions);
    for (const auto& [station, chain] : outcome.touched) stations_[station] = chain;
    return Stored::Done;
}

bool RecordStore::Store(QSqlDatabase& db, const ArchiveBatch& batch, std::int64_t nowMs,
                        bool returning, CommitOutcome& outcome, std::set<QString>& partitions,
                        bool& repeats, QString& error) {
    const std::vector<const ArchivedRecord*> records = DistinctRecords(batch.records);
    if (target_.engine == DatabaseTarget::Engine::Postgres &&
        !EnsureMonthlyPartitions(db, records, partitions, error)) {
        return false;
    }
    std::vector<bool> isNew;
    if (!InsertRecords(db, records, nowMs, returning, isNew, repeats, error)) return false;
    std::size_t inserted = 0, lowered = 0;  // lowered: repeats that lowered a stored previous end
    std::map<QString, std::vector<ChainLink>> links;  // per station, in order of end
    std::map<QString, QString> names;
    std::map<QString, std::optional<std::int64_t>> storedNewest;  // before this batch
    StationChain* chain = nullptr;  // of the station of the record before
    for (std::size_t i = 0; i < records.size(); ++i) {
        const ArchivedRecord* record = records[i];
        if (i == 0 || record->station != records[i - 1]->station) {
            chain = &outcome.touched.try_emplace(record->station, stations_[record->station])
                         .first->second;
            storedNewest.try_emplace(record->station, chain->newest);
        }
        if (i + 1 == records.size() || records[i + 1]->station != record->station) {
            names[record->station] = Storable(record->name);
        }
        bool changed = false;
        if (!isNew[i] && !LowerPreviousEnd(db, statements_, *record, changed, error)) {
            return false;
        }
        if (isNew[i]) {
            ++inserted;
            if (chain->records == 0)
                outcome.newStations.emplace_back(record->station, record->name);
            ++chain->records;
            chain->oldest = std::min(chain->oldest.value_or(record->end), record->end);
            chain->newest = std::max(chain->newest.value_or(record->end), record->end);
            if (outcome.oldestInsertedEnd == 0 || record->end < outcome.oldestInsertedEnd) {
                outcome.oldestInsertedEnd = record->end;
            }
        }
        lowered += changed ? 1 : 0;
        if (isNew[i] || changed)
            links[record->station].push_back({record->end, record->previousEnd});
    }
    outcome.inserted = inserted;
    outcome.repeated = batch.records.size() - inserted - lowered;
    AddRefusedLinks(batch.refusedLinks, outcome, links, storedNewest);
    const std::int64_t latestMs = nowMs + kMostAheadMs;
    for (auto& [station, chain] : outcome.touched) {
        if (!AdvanceChain(db, statements_, station, links[station], storedNewest[station], latestMs,
                          chain, error) ||
            !SaveStation(db, statements_, station, names[station], chain, error)) {
            return false;
        }
    }
    for (StationReport report : batch.reports) {
        report.name = Storable(report.name);
        if (report.text) report.text = Storable(*report.text);
        if (!SaveReport(db, statements_, report, error)) return false;
    }
    return true;
}

}  // namespace noxa
