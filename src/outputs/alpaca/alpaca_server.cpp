#include "outputs/alpaca/alpaca_server.h"

#include "outputs/common/latest_readings.h"
#include "outputs/common/safety_rule.h"

#include <QHash>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QUrl>

#include <cmath>
#include <optional>

namespace noxa {
namespace {

// Alpaca's error numbers.
constexpr int kNotImplemented = 0x400;
constexpr int kInvalidValue = 0x401;
constexpr int kValueNotSet = 0x402;
constexpr int kNotConnected = 0x407;

constexpr int kObservingConditions = 0;
constexpr int kSafetyMonitor = 1;

// The ObservingConditions sensors by their names: those the station measures, then the rest.
const QStringList kMeasured = {"cloudcover", "skyquality", "skytemperature", "temperature"};
const QStringList kNotMeasured = {"dewpoint",      "humidity",      "pressure",
                                  "rainrate",      "skybrightness", "starfwhm",
                                  "winddirection", "windgust",      "windspeed"};

const QStringList kCommonGets = {"connected",       "description",      "driverinfo",
                                 "driverversion",   "interfaceversion", "name",
                                 "supportedactions"};
const QStringList kCommonPutsNotImplemented = {"action", "commandblind", "commandbool",
                                               "commandstring"};

// Form-encoded pairs, their names lower-cased; the first of a repeated name wins.
QHash<QString, QString> ParseForm(const QByteArray& text) {
    QHash<QString, QString> pairs;
    for (const QByteArray& part : text.split('&')) {
        if (part.isEmpty()) continue;
        const qsizetype eq = part.indexOf('=');
        auto decode = [](QByteArray bytes) {
            bytes.replace('+', ' ');
            return QString::fromUtf8(QByteArray::fromPercentEncoding(bytes));
        };
        const QString name = decode(eq < 0 ? part : part.left(eq)).toLower();
        if (!pairs.contains(name))
            pairs.insert(name, eq < 0 ? QString() : decode(part.mid(eq + 1)));
    }
    return pairs;
}

std::optional<std::uint32_t> ParseUint32(const QString& text) {
    bool ok = false;
    const qulonglong value = text.trimmed().toULongLong(&ok);
    if (!ok || value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

WebReply BadRequest(const QString& message) {
    return WebReply{400, "Bad Request", "text/plain; charset=utf-8", message.toUtf8() + '\n'};
}

// A float as its shortest decimal text, so 21.34f reads 21.34.
double Shortest(float value) {
    return QString::number(value, 'g', 7).toDouble();
}

}  // namespace

struct AlpacaServer::Call {
    bool put = false;
    QHash<QString, QString> parameters;
    std::uint32_t clientTransaction = 0;
    std::uint32_t serverTransaction = 0;

    WebReply Reply(std::optional<QJsonValue> value, int error = 0,
                   const QString& message = {}) const {
        QJsonObject json;
        if (value) json["Value"] = *value;
        json["ClientTransactionID"] = static_cast<qint64>(clientTransaction);
        json["ServerTransactionID"] = static_cast<qint64>(serverTransaction);
        json["ErrorNumber"] = error;
        json["ErrorMessage"] = message;
        return WebReply{200, "OK", "application/json",
                        QJsonDocument(json).toJson(QJsonDocument::Compact)};
    }
    WebReply Value(const QJsonValue& value) const { return Reply(value); }
    WebReply Done() const { return Reply(std::nullopt); }
    WebReply Error(int error, const QString& message) const {
        return Reply(std::nullopt, error, message);
    }
};

AlpacaServer::AlpacaServer(const LatestReadings& readings, const SafetyRule& safety,
                           AlpacaIdentity identity)
    : readings_(readings), safety_(safety), identity_(std::move(identity)) {}

void AlpacaServer::MountOn(WebServer& web) {
    auto handler = [this](const QHttpServerRequest& request) { return Handle(request); };
    web.Mount("/management/", handler);
    web.Mount("/api/v1/", handler);
}

QUuid AlpacaServer::DeviceId(const QString& stationName, const QString& deviceType) {
    // A namespace of the station's own, so the ids are its and no one else's.
    static const QUuid kNamespace("{6f1c3a52-9d0e-4b7a-8e21-5a4c7d93b0e8}");
    return QUuid::createUuidV5(kNamespace, stationName + '/' + deviceType);
}

WebReply AlpacaServer::Handle(const QHttpServerRequest& request) {
    const bool put = request.method() == QHttpServerRequest::Method::Put;
    return Handle(put, request.url().path(),
                  put ? request.body() : request.url().query(QUrl::FullyEncoded).toUtf8());
}

WebReply AlpacaServer::Handle(bool put, const QString& path, const QByteArray& parameters) {
    Call call;
    call.put = put;
    call.parameters = ParseForm(parameters);
    for (const char* name : {"clienttransactionid", "clientid"}) {
        const auto it = call.parameters.constFind(QLatin1String(name));
        if (it == call.parameters.cend()) continue;
        const auto number = ParseUint32(*it);
        if (!number)
            return BadRequest(
                QStringLiteral("%1 is not a number from 0 to 4294967295")
                    .arg(name == QLatin1String("clientid") ? "ClientID" : "ClientTransactionID"));
        if (name == QLatin1String("clienttransactionid")) call.clientTransaction = *number;
    }
    if (++serverTransaction_ == 0) serverTransaction_ = 1;
    call.serverTransaction = serverTransaction_;

    if (path.startsWith(QLatin1String("/management/"))) return Management(call, path);

    // "/api/v1/<device type>/<device number>/<member>"
    const QStringList parts = path.mid(int(sizeof("/api/v1/")) - 1).split('/');
    if (parts.size() != 3) return BadRequest(QStringLiteral("Not an Alpaca device request"));
    const QString& type = parts[0];
    if (type != QLatin1String("observingconditions") && type != QLatin1String("safetymonitor"))
        return BadRequest(QStringLiteral("No device of type \"%1\"").arg(type));
    const auto number = ParseUint32(parts[1]);
    if (!number || parts[1].isEmpty() || !parts[1].front().isDigit())
        return BadRequest(QStringLiteral("\"%1\" is not a device number").arg(parts[1]));
    if (*number != 0) return BadRequest(QStringLiteral("No %1 number %2").arg(type).arg(*number));
    return Device(call, type, parts[2]);
}

WebReply AlpacaServer::Management(const Call& call, const QString& path) {
    if (call.put) return BadRequest(QStringLiteral("Management requests are GET requests"));
    if (path == QLatin1String("/management/apiversions")) return call.Value(QJsonArray{1});
    if (path == QLatin1String("/management/v1/description")) {
        return call.Value(QJsonObject{
            {"ServerName", QStringLiteral("NOXA-V4I station %1").arg(identity_.stationName)},
            {"Manufacturer", QStringLiteral("NOXA")},
            {"ManufacturerVersion", identity_.version},
            {"Location", identity_.stationName},
        });
    }
    if (path == QLatin1String("/management/v1/configureddevices")) {
        QJsonArray devices;
        for (const auto& [type, suffix] : {std::pair{"ObservingConditions", " sky conditions"},
                                           std::pair{"SafetyMonitor", " safety"}}) {
            devices.append(QJsonObject{
                {"DeviceName", identity_.stationName + QLatin1String(suffix)},
                {"DeviceType", QLatin1String(type)},
                {"DeviceNumber", 0},
                {"UniqueID", DeviceId(identity_.stationName, QLatin1String(type))
                                 .toString(QUuid::WithoutBraces)},
            });
        }
        return call.Value(devices);
    }
    return BadRequest(QStringLiteral("No management request %1").arg(path));
}

WebReply AlpacaServer::Device(const Call& call, const QString& type, const QString& member) {
    const int device =
        type == QLatin1String("observingconditions") ? kObservingConditions : kSafetyMonitor;
    if (call.put) {
        if (member == QLatin1String("connected")) {
            const QString value = call.parameters.value(QStringLiteral("connected")).trimmed();
            if (value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) {
                connected_[device] = true;
            } else if (value.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) {
                connected_[device] = false;
            } else {
                return BadRequest(QStringLiteral("Connected must be True or False"));
            }
            return call.Done();
        }
        if (kCommonPutsNotImplemented.contains(member))
            return call.Error(kNotImplemented,
                              QStringLiteral("%1 is not implemented by this device").arg(member));
    } else if (kCommonGets.contains(member)) {
        const bool conditions = device == kObservingConditions;
        if (member == QLatin1String("connected")) return call.Value(connected_[device]);
        if (member == QLatin1String("description"))
            return call.Value(conditions ? QStringLiteral("NOXA-V4I sky photometer: sky "
                                                          "quality, sky temperature, cloud cover")
                                         : QStringLiteral("NOXA-V4I sky photometer: whether "
                                                          "the sky is safe to open"));
        if (member == QLatin1String("driverinfo"))
            return call.Value(QStringLiteral("NOXA-V4I station %1, station \"%2\"")
                                  .arg(identity_.version, identity_.stationName));
        if (member == QLatin1String("driverversion")) return call.Value(identity_.version);
        if (member == QLatin1String("interfaceversion")) return call.Value(1);
        if (member == QLatin1String("name"))
            return call.Value(identity_.stationName + (conditions
                                                           ? QStringLiteral(" sky conditions")
                                                           : QStringLiteral(" safety")));
        return call.Value(QJsonArray());  // supportedactions
    }
    return device == kObservingConditions ? ObservingConditions(call, member)
                                          : SafetyMonitor(call, member);
}

WebReply AlpacaServer::ObservingConditions(const Call& call, const QString& member) {
    const bool known = kMeasured.contains(member) || kNotMeasured.contains(member) ||
                       member == QLatin1String("averageperiod") ||
                       member == QLatin1String("refresh") ||
                       member == QLatin1String("sensordescription") ||
                       member == QLatin1String("timesincelastupdate");
    const bool putMember =
        member == QLatin1String("refresh") || member == QLatin1String("averageperiod");
    const bool getMember = member != QLatin1String("refresh");
    if (!known || (call.put ? !putMember : !getMember))
        return BadRequest(QStringLiteral("No %1 request for observingconditions/0/%2")
                              .arg(call.put ? "PUT" : "GET", member));

    if (call.put && member == QLatin1String("averageperiod")) {
        bool ok = false;
        const double hours =
            call.parameters.value(QStringLiteral("averageperiod")).trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(hours)) return BadRequest("AveragePeriod must be a number");
        if (!connected_[kObservingConditions])
            return call.Error(kNotConnected, QStringLiteral("The device is not connected"));
        if (hours != 0)
            return call.Error(kInvalidValue,
                              QStringLiteral("Only 0 is supported: the newest values"));
        return call.Done();
    }
    if (kNotMeasured.contains(member))
        return call.Error(kNotImplemented,
                          QStringLiteral("The station does not measure %1").arg(member));
    if (!connected_[kObservingConditions])
        return call.Error(kNotConnected, QStringLiteral("The device is not connected"));
    if (member == QLatin1String("refresh")) return call.Done();  // the instrument reports alone
    if (member == QLatin1String("averageperiod")) return call.Value(0.0);

    if (member == QLatin1String("sensordescription") ||
        member == QLatin1String("timesincelastupdate")) {
        const QString sensor = call.parameters.value(QStringLiteral("sensorname")).toLower();
        if (!call.parameters.contains(QStringLiteral("sensorname")))
            return BadRequest(QStringLiteral("SensorName is missing"));
        const bool any = sensor.isEmpty() && member == QLatin1String("timesincelastupdate");
        if (kNotMeasured.contains(sensor))
            return call.Error(kNotImplemented,
                              QStringLiteral("The station does not measure %1").arg(sensor));
        if (!any && !kMeasured.contains(sensor))
            return call.Error(kInvalidValue, QStringLiteral("No sensor \"%1\"").arg(sensor));
        if (member == QLatin1String("sensordescription")) {
            if (sensor == QLatin1String("cloudcover"))
                return call.Value(
                    "Cloud cover in %, from the infrared sky and sensor temperatures");
            if (sensor == QLatin1String("skyquality"))
                return call.Value("Sky brightness of channel 1 (740 nm) in mag/arcsec²");
            if (sensor == QLatin1String("skytemperature"))
                return call.Value("Infrared sky temperature in °C");
            return call.Value("Temperature of the photometer's sensor in °C");
        }
        const auto age = readings_.AgeSeconds();
        if (!age) return call.Error(kValueNotSet, QStringLiteral("No report yet"));
        return call.Value(std::round(*age * 1000) / 1000);
    }

    const auto& latest = readings_.Latest();
    if (!latest) return call.Error(kValueNotSet, QStringLiteral("No report yet"));
    float value = latest->sensorTemperature;
    if (member == QLatin1String("cloudcover")) value = CloudCoverPercent(latest->cloudIndex);
    if (member == QLatin1String("skyquality")) value = latest->magV;
    if (member == QLatin1String("skytemperature")) value = latest->skyTemperature;
    if (!std::isfinite(value))
        return call.Error(kValueNotSet, QStringLiteral("The newest report has no %1").arg(member));
    return call.Value(Shortest(value));
}

WebReply AlpacaServer::SafetyMonitor(const Call& call, const QString& member) {
    if (call.put || member != QLatin1String("issafe"))
        return BadRequest(QStringLiteral("No %1 request for safetymonitor/0/%2")
                              .arg(call.put ? "PUT" : "GET", member));
    // Never safe while no client connected it.
    return call.Value(connected_[kSafetyMonitor] && safety_.IsSafe());
}

}  // namespace noxa
