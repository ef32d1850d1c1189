#include "outputs/common/readings_json.h"

#include "core/readings.h"
#include "outputs/common/latest_readings.h"
#include "outputs/common/shortest_decimal.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace noxa {
namespace {

QJsonValue Number(float value) {
    if (!std::isfinite(value)) return QJsonValue(QJsonValue::Null);
    return QJsonValue(ShortestDouble(value));
}

QJsonObject ReadingsObject(const LatestReadings& readings) {
    QJsonObject json;
    const auto& o = readings.Latest();
    json["time"] =
        o ? QJsonValue(QDateTime::fromMSecsSinceEpoch(o->time, Qt::UTC).toString(Qt::ISODateWithMs))
          : QJsonValue(QJsonValue::Null);
    json["station"] = o ? QJsonValue(QString::fromLatin1(o->station.data(),
                                                         static_cast<qsizetype>(o->station.size())))
                        : QJsonValue(QJsonValue::Null);
    for (const ReadingDescription& reading : kReadings) {
        if (!reading.key) continue;
        json[reading.key] = o ? Number(ShownValue(reading, *o)) : QJsonValue(QJsonValue::Null);
    }
    json["link_ok"] = readings.Link().ok;
    json["safe"] = readings.Safe();
    json["unsafe_reason"] = readings.Safe()
                                ? QJsonValue(QJsonValue::Null)
                                : QJsonValue(QString::fromStdString(readings.SafetyReason()));
    const auto age = readings.AgeSeconds();
    json["age_s"] = age ? QJsonValue(std::round(*age * 10) / 10) : QJsonValue(QJsonValue::Null);
    return json;
}

}  // namespace

QByteArray ReadingsJson(const LatestReadings& readings) {
    return QJsonDocument(ReadingsObject(readings)).toJson(QJsonDocument::Compact);
}

QByteArray StoppedReadingsJson(const LatestReadings& readings) {
    QJsonObject json = ReadingsObject(readings);
    json["link_ok"] = false;
    json["safe"] = false;
    json["unsafe_reason"] = "station stopped";
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

}  // namespace noxa
