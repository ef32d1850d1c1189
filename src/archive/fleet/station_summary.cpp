#include "archive/fleet/station_summary.h"

#include "archive/fleet/fleet_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace noxa {
namespace {

template <typename T>
QJsonValue JsonOf(const std::optional<T>& value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QString SortName(const StationSummary& s) {
    return s.name.value_or(s.id);
}

}  // namespace

StationSummary Summarize(const StationRow& row, std::optional<double> lastNightMedian, qint64 now,
                         qint64 staleSeconds) {
    StationSummary s;
    s.id = row.id;
    s.name = row.name;
    s.availability = row.availability;
    s.lastEnd = row.lastEnd;
    s.records = row.records;
    s.lastNightMedian = lastNightMedian;
    if (row.lastEnd) {
        s.ageSeconds = static_cast<double>(now - *row.lastEnd) / 1000.0;
        s.stale = *s.ageSeconds > static_cast<double>(staleSeconds);
    }
    // A station silent past its limit or gone offline says nothing about the sky now: its
    // last verdict and brightness are unknown, not repeated.
    if (s.stale || row.availability == QLatin1String("offline")) return s;
    const QJsonObject state = QJsonDocument::fromJson(row.state).object();
    const QJsonValue safe = state.value(QLatin1String("safe"));
    if (safe.isBool()) s.safe = safe.toBool();
    const QJsonValue magV = state.value(QLatin1String("mag_v"));
    s.magV = magV.isDouble() ? std::optional(magV.toDouble()) : row.lastRecordMagV;
    return s;
}

void SortByName(std::vector<StationSummary>& stations) {
    std::sort(stations.begin(), stations.end(), [](const auto& a, const auto& b) {
        const int byName = SortName(a).compare(SortName(b), Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : a.id < b.id;
    });
}

QByteArray StationsJson(const std::vector<StationSummary>& stations) {
    QJsonArray array;
    for (const StationSummary& s : stations) {
        const std::optional<QString> lastEnd =
            s.lastEnd ? std::optional(QString::fromLatin1(IsoUtc(*s.lastEnd))) : std::nullopt;
        array.append(QJsonObject{
            {"station", s.id},
            {"name", JsonOf(s.name)},
            {"availability", JsonOf(s.availability)},
            {"last_end", JsonOf(lastEnd)},
            {"age_seconds", JsonOf(s.ageSeconds)},
            {"safe", JsonOf(s.safe)},
            {"mag_v", JsonOf(s.magV)},
            {"last_night_median", JsonOf(s.lastNightMedian)},
            {"records", s.records},
            {"stale", s.stale},
        });
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

}  // namespace noxa
