#include "outputs/common/readings_json.h"

#include "core/station_name_text.h"
#include "outputs/common/latest_readings.h"
#include "outputs/common/reading_description.h"
#include "outputs/common/safety_rule.h"
#include "outputs/common/shortest_decimal.h"
#include "outputs/common/station_status.h"
#include "outputs/common/station_view.h"

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

QJsonObject ReadingsObject(const LatestReadings& readings, const SafetyVerdict& verdict,
                           bool linkOk) {
    QJsonObject json;
    const auto& o = readings.Latest();
    json["time"] =
        o ? QJsonValue(QDateTime::fromMSecsSinceEpoch(o->time, Qt::UTC).toString(Qt::ISODateWithMs))
          : QJsonValue(QJsonValue::Null);
    json["station"] = o ? QJsonValue(StationNameText(o->station)) : QJsonValue(QJsonValue::Null);
    for (const ReadingDescription& reading : ReadingDescriptions()) {
        if (!reading.key) continue;
        json[reading.key] = o ? Number(ShownValue(reading, *o)) : QJsonValue(QJsonValue::Null);
    }
    json["link_ok"] = linkOk;
    json["safe"] = verdict.Safe();
    json["unsafe_reason"] = verdict.Safe() ? QJsonValue(QJsonValue::Null)
                                           : QJsonValue(QString::fromStdString(verdict.reason));
    const auto age = readings.AgeSeconds();
    json["age_s"] = age ? QJsonValue(std::round(*age * 10) / 10) : QJsonValue(QJsonValue::Null);
    return json;
}

}  // namespace

QByteArray ReadingsJson(const StationView& station) {
    return QJsonDocument(
               ReadingsObject(station.readings, station.safety.Verdict(), station.status.LinkOk()))
        .toJson(QJsonDocument::Compact);
}

QByteArray StoppedReadingsJson(const LatestReadings& readings) {
    const SafetyVerdict stopped{UnsafeCause::StationStopped, "station stopped"};
    return QJsonDocument(ReadingsObject(readings, stopped, false)).toJson(QJsonDocument::Compact);
}

}  // namespace noxa
