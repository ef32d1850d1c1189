#include "outputs/mqtt/record_json.h"
#include "core/station_name_text.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace noxa {
namespace {

QJsonValue Number(double value, bool known = true) {
    return known && std::isfinite(value) ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

QJsonValue Number(const std::optional<float>& value) {
    return value ? Number(double(*value)) : QJsonValue(QJsonValue::Null);
}

QJsonValue Time(const std::optional<UtcMilliseconds>& time) {
    return time ? QJsonValue(UtcText(*time)) : QJsonValue(QJsonValue::Null);
}

// A time or null; false when the value is neither.
bool ReadTime(const QJsonValue& value, std::optional<UtcMilliseconds>& time) {
    time.reset();
    if (value.isNull()) return true;
    if (!value.isString()) return false;
    time = ParseUtc(value.toString());
    return time.has_value();
}

}  // namespace

QString UtcText(UtcMilliseconds time) {
    return QDateTime::fromMSecsSinceEpoch(time, Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

std::optional<UtcMilliseconds> ParseUtc(const QString& text) {
    if (!text.endsWith('Z')) return std::nullopt;
    const QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid()) return std::nullopt;
    return time.toMSecsSinceEpoch();
}

QByteArray RecordJson(const IntervalRecord& r, const std::string& station, const SunMoon& sky,
                      std::optional<UtcMilliseconds> previousEnd) {
    const bool v = r.reports > 0, red = r.reportsR > 0, green = r.reportsG > 0,
               blue = r.reportsB > 0;
    QJsonObject json;
    json["station"] = StationNameText(station);
    json["start"] = UtcText(r.start);
    json["end"] = UtcText(r.end);
    json["previous_end"] = Time(previousEnd);
    json["mag_v"] = Number(r.magV, v);
    json["mag_v2"] = Number(r.magV2, v);
    json["mag_r"] = Number(r.magR, red);
    json["mag_g"] = Number(r.magG, green);
    json["mag_b"] = Number(r.magB, blue);
    json["freq_v"] = Number(r.freq1, v);
    json["freq_v2"] = Number(r.freq2, v);
    json["freq_r"] = Number(r.freqR, red);
    json["freq_g"] = Number(r.freqG, green);
    json["freq_b"] = Number(r.freqB, blue);
    json["temperature"] = Number(r.sensorTemperature);
    json["sky_temperature"] = Number(r.skyTemperature);
    json["reports"] = r.reports;
    json["reports_r"] = r.reportsR;
    json["reports_g"] = r.reportsG;
    json["reports_b"] = r.reportsB;
    json["sun_altitude"] = Number(sky.sunAltitude);
    json["moon_altitude"] = Number(sky.moonAltitude);
    json["moon_illumination"] = Number(sky.moonIllumination);
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

std::optional<RecordChain> ReadRecordChain(const QByteArray& json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject()) return std::nullopt;
    const QJsonObject object = document.object();
    std::optional<UtcMilliseconds> end;
    RecordChain chain;
    if (!ReadTime(object["end"], end) || !end ||
        !ReadTime(object["previous_end"], chain.previousEnd)) {
        return std::nullopt;
    }
    chain.end = *end;
    return chain;
}

QByteArray WithoutPreviousEnd(const QByteArray& json) {
    QJsonObject object = QJsonDocument::fromJson(json).object();
    object["previous_end"] = QJsonValue(QJsonValue::Null);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<ArchiveConfirmation> ParseConfirmation(const QByteArray& payload) {
    const QJsonDocument document = QJsonDocument::fromJson(payload);
    if (!document.isObject()) return std::nullopt;
    const QJsonObject object = document.object();
    ArchiveConfirmation confirmation;
    if (!object.contains("through") || !object.contains("newest") ||
        !ReadTime(object["through"], confirmation.through) ||
        !ReadTime(object["newest"], confirmation.newest)) {
        return std::nullopt;
    }
    return confirmation;
}

}  // namespace noxa
