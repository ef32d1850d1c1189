#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

class QUrlQuery;

namespace noxa {

// What /api/records is asked for: one station's records with from <= end <= to (ms UTC).
struct RecordsRequest {
    QString station;
    qint64 from = 0;
    qint64 to = 0;
    bool csv = false;
};

// The request of `query`: "station" (needed), "from" and "to" as ISO 8601 (UTC unless it
// carries an offset) or ms since 1970 (by default the 24 hours up to `now`), "format" "json"
// or "csv". Empty, with what is wrong in `error`, when the query does not make sense.
std::optional<RecordsRequest> ParseRecordsRequest(const QUrlQuery& query, qint64 now,
                                                  QString& error);

}  // namespace noxa
