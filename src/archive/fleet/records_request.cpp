#include "archive/fleet/records_request.h"

#include <QDateTime>
#include <QTimeZone>
#include <QUrlQuery>

#include <algorithm>

namespace noxa {
namespace {

constexpr qint64 kDayMs = 24 * 3600 * 1000;
// 9999-12-31T23:59:59.999Z: the last time ISO 8601's four-digit years can write.
constexpr qint64 kLatestMs = 253402300799999;

// A time of the query in ms UTC; empty when it is none.
std::optional<qint64> TimeOf(const QString& text) {
    bool number = false;
    const qint64 ms = text.toLongLong(&number);
    if (number) {
        if (ms < 0 || ms > kLatestMs) return std::nullopt;
        return ms;
    }
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid()) return std::nullopt;
    if (time.timeSpec() == Qt::LocalTime) time.setTimeZone(QTimeZone::utc());
    const qint64 utc = time.toMSecsSinceEpoch();
    if (utc < 0 || utc > kLatestMs) return std::nullopt;
    return utc;
}

// The time of parameter `name`, or `fallback` when the query has none.
bool ReadTime(const QUrlQuery& query, const char* name, qint64 fallback, qint64& out,
              QString& error) {
    const QString key = QLatin1String(name);
    if (!query.hasQueryItem(key)) {
        out = fallback;
        return true;
    }
    const QString text = query.queryItemValue(key, QUrl::FullyDecoded);
    const std::optional<qint64> time = TimeOf(text);
    if (!time) {
        error = QStringLiteral(
                    "\"%1\" is not a time: \"%2\" (ISO 8601 such as "
                    "2026-12-07T21:01:00Z, or ms since 1970)")
                    .arg(key, text.left(64));
        return false;
    }
    out = *time;
    return true;
}

// The name of the first parameter whose name or value holds a control character (NUL, a
// line break, …), which no station id, time or format has; nothing when none does.
std::optional<QString> ParameterWithControl(const QUrlQuery& query) {
    const auto control = [](const QString& text) {
        return std::any_of(text.begin(), text.end(),
                           [](QChar c) { return c.category() == QChar::Other_Control; });
    };
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (control(key) || control(value)) return key;
    }
    return std::nullopt;
}

}  // namespace

std::optional<RecordsRequest> ParseRecordsRequest(const QUrlQuery& query, qint64 now,
                                                  QString& error) {
    if (const std::optional<QString> key = ParameterWithControl(query)) {
        QString shown = key->left(64);
        for (QChar& c : shown)
            if (c.category() == QChar::Other_Control) c = u'?';
        error = QStringLiteral("\"%1\" holds a control character").arg(shown);
        return std::nullopt;
    }
    RecordsRequest request;
    request.station = query.queryItemValue(QStringLiteral("station"), QUrl::FullyDecoded);
    if (request.station.isEmpty()) {
        error = QStringLiteral("\"station\" is missing: /api/records?station=<id>");
        return std::nullopt;
    }
    if (!ReadTime(query, "to", now, request.to, error)) return std::nullopt;
    if (!ReadTime(query, "from", request.to - kDayMs, request.from, error)) return std::nullopt;
    if (request.from > request.to) {
        error = QStringLiteral("\"from\" is after \"to\"");
        return std::nullopt;
    }
    const QString format = query.queryItemValue(QStringLiteral("format"), QUrl::FullyDecoded);
    if (!format.isEmpty() && format != QLatin1String("json") && format != QLatin1String("csv")) {
        error = QStringLiteral("\"format\" is json or csv, not \"%1\"").arg(format.left(64));
        return std::nullopt;
    }
    request.csv = format == QLatin1String("csv");
    return request;
}

}  // namespace noxa
