#include "outputs/web/monthly_json.h"

#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

#include <cmath>

namespace noxa {
namespace {

// A month's line is about 150 bytes: this is decades of many instruments.
constexpr qint64 kMaxMonthlyBytes = 4 * 1024 * 1024;

bool IsText(const QByteArray& column) {
    return column == "instrument" || column == "month" || column == "median_rule";
}

// One line as a JSON object, or false when it is not a month.
bool ParseMonth(const QList<QByteArray>& columns, const QByteArray& line, QJsonObject& month) {
    const QList<QByteArray> fields = line.split(',');
    if (fields.size() != columns.size()) return false;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString key = QString::fromLatin1(columns[i]);
        if (fields[i].isEmpty()) {
            month.insert(key, QJsonValue::Null);
        } else if (IsText(columns[i])) {
            month.insert(key, QString::fromUtf8(fields[i]));
        } else {
            bool ok = false;
            const double value = fields[i].toDouble(&ok);
            if (!ok || !std::isfinite(value)) return false;
            month.insert(key, value);
        }
    }
    const QJsonValue first = month.value(QLatin1String("month"));
    return first.isString() &&
           QDate::fromString(first.toString() + QLatin1String("-01"), Qt::ISODate).isValid();
}

}  // namespace

QByteArray MonthlyJson(const QByteArray& csv) {
    QJsonArray months;
    QList<QByteArray> columns;
    for (QByteArray line : csv.split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        if (columns.isEmpty()) {
            if (!line.startsWith("instrument,month,")) break;
            columns = line.split(',');
            continue;
        }
        QJsonObject month;
        if (ParseMonth(columns, line, month)) months.append(month);
    }
    return QJsonDocument(months).toJson(QJsonDocument::Compact);
}

QByteArray ReadMonthlyFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return {};
    if (file.size() <= kMaxMonthlyBytes) return file.readAll();
    const QByteArray header = file.readLine(1024);
    if (!file.seek(file.size() - kMaxMonthlyBytes)) return {};
    const QByteArray tail = file.read(kMaxMonthlyBytes);
    return header + tail.mid(tail.indexOf('\n') + 1);
}

}  // namespace noxa
