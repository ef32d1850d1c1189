#include "outputs/common/readings_json.h"

#include "outputs/common/latest_readings.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace noxa {
namespace {

// Floats as their shortest decimal text, so 21.34f reads 21.34 and not 21.340000152587891.
QJsonValue Number(float value) {
    if (!std::isfinite(value)) return QJsonValue(QJsonValue::Null);
    return QJsonValue(QString::number(value, 'g', 7).toDouble());
}

QJsonObject ReadingsObject(const LatestReadings& readings) {
    static const char* const kReadingKeys[] = {
        "time",   "station",     "mag_v",           "mag_v2", "mag_r",
        "mag_g",  "mag_b",       "freq_1",          "freq_2", "freq_3",
        "freq_4", "temperature", "sky_temperature", "nelm",   "cloud_cover"};
    static const char* const kSunMoonKeys[] = {"sun_altitude", "moon_altitude",
                                               "moon_illumination"};
    QJsonObject json;
    if (const auto& o = readings.Latest()) {
        json["time"] = QDateTime::fromMSecsSinceEpoch(o->time, Qt::UTC).toString(Qt::ISODateWithMs);
        json["station"] =
            QString::fromLatin1(o->station.data(), static_cast<qsizetype>(o->station.size()));
        json["mag_v"] = Number(o->magV);
        json["mag_v2"] = Number(o->magV2);
        json["mag_r"] = Number(o->magR);
        json["mag_g"] = Number(o->magG);
        json["mag_b"] = Number(o->magB);
        json["freq_1"] = Number(o->freq1);
        json["freq_2"] = Number(o->freq2);
        json["freq_3"] = Number(o->freq3);
        json["freq_4"] = Number(o->freq4);
        json["temperature"] = Number(o->sensorTemperature);
        json["sky_temperature"] = Number(o->skyTemperature);
        json["nelm"] = Number(o->nelm);
        json["cloud_cover"] = Number(CloudCoverPercent(o->cloudIndex));
        json["sun_altitude"] = Number(o->sunAltitude);
        json["moon_altitude"] = Number(o->moonAltitude);
        json["moon_illumination"] = Number(o->moonIllumination);
    } else {
        for (const char* key : kReadingKeys) json[key] = QJsonValue(QJsonValue::Null);
        for (const char* key : kSunMoonKeys) json[key] = QJsonValue(QJsonValue::Null);
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
