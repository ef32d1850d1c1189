#include "archive/fleet/records_pages.h"

#include <QSqlQuery>
#include <QVariant>

namespace noxa {

RecordsPages::RecordsPages(const ArchiveReader& reader, QString station, qint64 from, qint64 to,
                           std::unique_ptr<RecordsWriter> writer, Failed failed, qint64 pageSize)
    : reader_(reader),
      station_(std::move(station)),
      from_(from),
      to_(to),
      writer_(std::move(writer)),
      failed_(std::move(failed)),
      pageSize_(pageSize) {}

std::optional<QByteArray> RecordsPages::Next() {
    if (finished_) return QByteArray();
    const int end = 1;  // end_time's place in the select list
    qint64 last = -1;
    std::optional<qint64> more;
    QString error;
    const auto add = [&](const QSqlQuery& row) {
        writer_->Add(row);
        last = row.value(end).toLongLong();
    };
    if (!reader_.Records(station_, from_, to_, pageSize_, add, more, error)) {
        failed_(error);
        return std::nullopt;
    }
    // The next page begins after the last record of this one: those stored meanwhile before
    // the first it left out are not missed.
    if (more) {
        from_ = last + 1;
    } else {
        finished_ = true;
        writer_->Finish();
    }
    return writer_->TakeWritten();
}

}  // namespace noxa
