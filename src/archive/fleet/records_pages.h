#pragma once

#include "archive/fleet/archive_reader.h"
#include "archive/fleet/records_output.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace noxa {

// The records one answer of /api/records sends a page at a time while its client reads.
inline constexpr qint64 kRecordsPerPage = 2000;

// One station's records with `from` <= end <= `to` (ms UTC), oldest first, as the body of an
// answer made a page at a time: each page is read with a short query of its own, beginning
// after the last record sent, so no read of the database stays open while the client reads and
// an answer holds about one page in memory. Records stored meanwhile within the span are sent
// when their page is read. A page the database cannot read goes to `failed` and breaks the body
// off. Next() is a BodySource.
class RecordsPages {
public:
    using Failed = std::function<void(const QString& error)>;

    RecordsPages(const ArchiveReader& reader, QString station, qint64 from, qint64 to,
                 std::unique_ptr<RecordsWriter> writer, Failed failed,
                 qint64 pageSize = kRecordsPerPage);

    // The next piece of the body; empty once it is whole, none when a page cannot be read.
    std::optional<QByteArray> Next();

private:
    const ArchiveReader& reader_;
    const QString station_;
    qint64 from_;
    const qint64 to_;
    const std::unique_ptr<RecordsWriter> writer_;
    const Failed failed_;
    const qint64 pageSize_;
    bool finished_ = false;
};

}  // namespace noxa
