#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

class QSqlQuery;

namespace noxa {

// Records as they are read from the archive (columns in RecordColumns()' order), written one
// at a time into the body of an answer, which is taken a piece at a time.
class RecordsWriter {
public:
    virtual ~RecordsWriter() = default;
    virtual void Add(const QSqlQuery& row) = 0;
    // What was written since the last time, the head of the body first.
    QByteArray TakeWritten() { return std::exchange(out_, {}); }
    // Writes the end of the body, after the last record.
    virtual void Finish() {}

protected:
    QByteArray out_;
};

// A JSON array of records with the keys of the record JSON the stations publish, every key
// present, unknown values null; "station" is the station's display name.
class RecordsJsonWriter final : public RecordsWriter {
public:
    explicit RecordsJsonWriter(const QString& stationName);
    void Add(const QSqlQuery& row) override;
    void Finish() override;

private:
    QByteArray station_;
    bool first_ = true;
};

// CSV with the columns of the station's data file (a header line of their names), comma
// separated, lines ending in CR LF as the data file's do; the date and time of each record's
// end in UTC (yyyy-MM-dd, HH:mm:ss), the numbers in the data file's formats, unknown values
// empty.
class RecordsCsvWriter final : public RecordsWriter {
public:
    RecordsCsvWriter();
    void Add(const QSqlQuery& row) override;
};

// The names of the data file's columns, in their order.
QList<QByteArray> DataFileColumnNames();

}  // namespace noxa
