#include "outputs/web/nights_json.h"

#include "core/night_summary_columns.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace noxa {
namespace {

constexpr const auto& kColumns = kNightSummaryColumns;
constexpr qsizetype kColumnCount = qsizetype(kColumns.size());

// One line of the file as a JSON object, or false when it is not a night. Lines written before
// the last columns were added have the first ones only, and give only those.
bool ParseNight(const QByteArray& line, QDate& date, QJsonObject& night) {
    const QList<QByteArray> fields = line.split(',');
    const qsizetype count = fields.size();
    if ((count != kColumnCount && count != qsizetype(kNightSummaryFirstColumns)) ||
        fields[0].size() != 10)
        return false;
    date = QDate::fromString(QString::fromLatin1(fields[0]), QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid()) return false;
    night.insert(QLatin1String(kColumns[0]), date.toString(Qt::ISODate));
    for (qsizetype i = 1; i < count; ++i) {
        const QLatin1String key(kColumns[i]);
        if (fields[i].isEmpty()) {
            night.insert(key, QJsonValue::Null);
        } else if (key == QLatin1String("instrument")) {
            night.insert(key, QString::fromLatin1(fields[i]));
        } else if (key == QLatin1String("records")) {
            bool ok = false;
            const int records = fields[i].toInt(&ok);
            if (!ok || records < 0) return false;
            night.insert(key, records);
        } else {
            bool ok = false;
            const double value = fields[i].toDouble(&ok);
            if (!ok || !std::isfinite(value)) return false;
            night.insert(key, value);
        }
    }
    return true;
}

}  // namespace

QByteArray NightsJson(const QByteArray& csv, int limit) {
    std::vector<std::pair<QDate, QJsonObject>> nights;
    for (QByteArray line : csv.split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        QDate date;
        QJsonObject night;
        if (ParseNight(line, date, night)) nights.emplace_back(date, std::move(night));
    }
    std::stable_sort(nights.begin(), nights.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    if (limit > 0 && nights.size() > static_cast<size_t>(limit)) nights.resize(limit);
    QJsonArray array;
    for (auto& [date, night] : nights) array.append(std::move(night));
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

}  // namespace noxa
