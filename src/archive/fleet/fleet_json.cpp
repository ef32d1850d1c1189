#include "archive/fleet/fleet_json.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <cmath>

namespace noxa {

QByteArray IsoUtc(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs).toUtf8();
}

QByteArray JsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

QByteArray JsonString(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

}  // namespace noxa
