#pragma once

#include "archive/archive_batch.h"
#include "archive/database_url.h"
#include "archive/statement_cache.h"
#include "archive/station_chain.h"

#include <QSqlDatabase>
#include <QString>

#include <map>
#include <memory>
#include <set>

namespace noxa {

// The archive's database through Qt SQL, the same statements for SQLite and PostgreSQL: the
// schema brought up to date on opening, and each batch stored in one transaction.
class RecordStore {
public:
    RecordStore(DatabaseTarget target, QString password, QString connectionName);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    // Connects, brings the schema up to date and reads what is known of the stations.
    bool Open(QString& error);
    void Close();
    bool IsOpen() const { return open_; }

    // Stores the batch (a record already stored changes nothing), moves each station's
    // confirmed chain on, and commits; on failure nothing changed and it can be tried again.
    bool Commit(const ArchiveBatch& batch, std::int64_t nowMs, CommitOutcome& outcome,
                QString& error);

    const std::map<QString, StationChain>& Stations() const { return stations_; }
    const DatabaseTarget& Target() const { return target_; }

private:
    QSqlDatabase Database() const { return QSqlDatabase::database(connection_, false); }
    bool Configure(QSqlDatabase& db, QString& error);
    bool LoadStations(QString& error);
    enum class Stored { Done, Failed, HadRepeats };
    // One transaction of the batch; see InsertRecords for `returning`.
    Stored Transact(const ArchiveBatch& batch, std::int64_t nowMs, bool returning,
                    CommitOutcome& outcome, QString& error);
    bool Store(QSqlDatabase& db, const ArchiveBatch& batch, std::int64_t nowMs, bool returning,
               CommitOutcome& outcome, std::set<QString>& partitions, bool& repeats,
               QString& error);

    // Adds the refused records that link a known station's chain to `links`, kept in order
    // of their ends.
    void AddRefusedLinks(const std::vector<RefusedLink>& refused, CommitOutcome& outcome,
                         std::map<QString, std::vector<ChainLink>>& links,
                         std::map<QString, std::optional<std::int64_t>>& storedNewest) const;

    DatabaseTarget target_;
    QString password_;
    QString connection_;
    bool open_ = false;
    std::map<QString, StationChain> stations_;
    std::set<QString> partitions_;  // PostgreSQL: the monthly partitions known to exist
    StatementCache statements_;     // of the open connection
};

}  // namespace noxa
