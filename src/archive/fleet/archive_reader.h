#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <mutex>
#include <optional>
#include <vector>

class QSqlQuery;

namespace noxa {

// A station as the stations table has it, with the sky brightness of its newest record.
struct StationRow {
    QString id;
    std::optional<QString> name;
    std::optional<qint64> lastEnd;  // ms UTC
    std::optional<qint64> through;  // how far its records are stored without a gap
    qint64 records = 0;
    QByteArray state;  // the newest state JSON; empty when none came
    std::optional<QString> availability;
    std::optional<double> lastRecordMagV;
};

// Reads the archive's database through copies of a connection the archive made and named, one
// for each thread that reads (a database connection belongs to one thread). Plain SQL that SQLite
// and PostgreSQL both take. Every read returns false, with the database's reason in `error`, when
// the database cannot answer.
class ArchiveReader {
public:
    explicit ArchiveReader(QString connectionName);
    // Removes its copies of the connection; no thread reads through it any more.
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // Every station, in no particular order.
    bool Stations(std::vector<StationRow>& out, QString& error) const;
    // One station; `found` is empty when the archive has none of that id.
    bool Station(const QString& id, std::optional<StationRow>& found, QString& error) const;

    // The station's records with `from` <= end <= `to` (ms UTC), oldest first, at most
    // `limit`: `row` gets each, its columns in RecordColumns()' order. `next` is the end of
    // the first record the limit left out, if it left one out.
    using RowSink = std::function<void(const QSqlQuery& row)>;
    bool Records(const QString& id, qint64 from, qint64 to, qint64 limit, const RowSink& row,
                 std::optional<qint64>& next, QString& error) const;
    // The end of the record that comes after the first `count` of those Records() reads
    // (`next` for a limit of `count`), reading no more than their ends; empty when no more
    // than `count` are there.
    bool EndAfter(const QString& id, qint64 from, qint64 to, qint64 count,
                  std::optional<qint64>& end, QString& error) const;

    // The sky brightness (mag_v) of the dark records (Sun below -18°, Moon below the horizon)
    // of the station's last night: the newest dark stretch that ended, by the Sun's altitude,
    // before `now` and no more than 36 hours before it. Empty when there is none.
    bool LastNightDarkMagnitudes(const QString& id, qint64 now, std::vector<float>& out,
                                 QString& error) const;

private:
    // This thread's copy of the connection, made on its first read.
    QString Connection() const;

    const QString connection_;
    const int serial_;
    mutable std::mutex mutex_;
    mutable std::vector<QString> copies_;
};

}  // namespace noxa
