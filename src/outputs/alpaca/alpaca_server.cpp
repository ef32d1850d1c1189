#include "outputs/alpaca/alpaca_server.h"

#include "core/readings.h"
#include "outputs/common/shortest_decimal.h"
#include "time/station_clock.h"

#include <QHash>
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

// The reading an ObservingConditions member gives; nullptr for a member that gives none.
const ReadingDescription* FindSensor(const QString& member) {
    for (const ReadingDescription& reading : kReadings) {
        if (reading.alpacaMember && member == QLatin1String(reading.alpacaMember)) return &reading;
    }
    return nullptr;
}
const QStringList kNotMeasured = {"dewpoint",      "humidity",      "pressure",
                                  "rainrate",      "skybrightness", "starfwhm",
                                  "winddirection", "windgust",      "windspeed"};

const QStringList kCommonGets = {"connected",       "description",      "driverinfo",
                                 "driverversion",   "interfaceversion", "name",
                                 "supportedactions"};
const QStringList kCommonPutsNotImplemented = {"action", "commandblind", "commandbool",
                                               "commandstring"};

// Form-encoded pairs; the first of a repeated name wins. Names are lower-cased unless `exact`.
QHash<QString, QString> ParseForm(const QByteArray& text, bool exact) {
    QHash<QString, QString> pairs;
    for (const QByteArray& part : text.split('&')) {
        if (part.isEmpty()) continue;
        const qsizetype eq = part.indexOf('=');
        auto decode = [](QByteArray bytes) {
            bytes.replace('+', ' ');
            return QString::fromUtf8(QByteArray::fromPercentEncoding(bytes));
        };
        QString name = decode(eq < 0 ? part : part.left(eq));
        if (!exact) name = name.toLower();
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

std::optional<double> SecondsFrom(std::optional<UtcMilliseconds> then, UtcMilliseconds now) {
    if (!then) return std::nullopt;
    return static_cast<double>(now - *then) / 1000;
}

const char* const kSetupPage = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>%1</title></head>
<body><h1>%1</h1>
<p>This station has no settings to change here. They live in <code>noxa-station.ini</code> in the
station's working folder, and each has a command-line option (<code>noxa-station --help</code>):
<code>[safety]</code> decides what the SafetyMonitor calls safe, <code>[http]</code> where the
Alpaca devices answer, <code>[alpaca]</code> the discovery port and the station's id.</p>
</body></html>
)";

}  // namespace

struct AlpacaServer::Call {
    // What the station showed when the request came, and when that was.
    std::shared_ptr<const StationSnapshot> station;
    UtcMilliseconds now = 0;
    bool put = false;
    // A PUT's names as sent, a GET's lower-cased: PUT bodies must name each parameter exactly,
    // GET queries in any case.
    QHash<QString, QString> parameters;
    std::uint32_t clientId = 0;
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
    bool Has(QLatin1String name) const { return parameters.contains(Key(name)); }
    QString Param(QLatin1String name) const { return parameters.value(Key(name)); }
    QString Key(QLatin1String name) const { return put ? QString(name) : QString(name).toLower(); }

    WebReply Value(const QJsonValue& value) const { return Reply(value); }
    WebReply Done() const { return Reply(std::nullopt); }
    WebReply Error(int error, const QString& message) const {
        return Reply(std::nullopt, error, message);
    }
    // Seconds since the sensor's reading last had a finite value; none before that.
    std::optional<double> SecondsSince(const ReadingDescription& sensor) const {
        return SecondsFrom(station->lastValue[static_cast<std::size_t>(sensor.id)], now);
    }
};

AlpacaServer::AlpacaServer(const StationClock& clock, AlpacaIdentity identity)
    : clock_(clock), identity_(std::move(identity)) {}

void AlpacaServer::MountOn(WebServer& web) {
    snapshots_ = &web.Snapshots();
    auto handler = [this](const WebRequest& request) { return Handle(request); };
    web.Mount("/management/", handler);
    web.Mount("/api/v1/", handler);
    web.Mount("/setup", [this](const WebRequest& request) { return SetupPage(request.path); });
}

bool AlpacaServer::Connected(int device, std::uint32_t client) {
    std::lock_guard lock(mutex_);
    return connections_[device].Seen(client, AlpacaConnections::Clock::now());
}

WebReply AlpacaServer::SetupPage(const QString& path) const {
    const QStringList parts = path.split('/');  // "", "setup", "v1", type, "0", "setup"
    const bool device = parts.size() == 6 && parts[2] == QLatin1String("v1") &&
                        (parts[3] == QLatin1String("observingconditions") ||
                         parts[3] == QLatin1String("safetymonitor")) &&
                        parts[4] == QLatin1String("0") && parts[5] == QLatin1String("setup");
    if (path != QLatin1String("/setup") && !device)
        return WebReply{404, "Not Found", "text/plain; charset=utf-8", "No such setup page\n"};
    const QString title =
        QStringLiteral("NOXA-V4I station %1: setup").arg(identity_.stationName.toHtmlEscaped());
    return WebReply{200, "OK", "text/html; charset=utf-8",
                    QString::fromUtf8(kSetupPage).arg(title).toUtf8()};
}

QUuid AlpacaServer::DeviceId(const QString& stationId, const QString& deviceType) {
    // A namespace of the station's own, so the ids are its and no one else's.
    static const QUuid kNamespace("{6f1c3a52-9d0e-4b7a-8e21-5a4c7d93b0e8}");
    return QUuid::createUuidV5(kNamespace, stationId + '/' + deviceType);
}

WebReply AlpacaServer::Handle(const WebRequest& request) {
    const bool put = request.IsPut();
    return Handle(put, request.path, put ? request.body : request.query);
}

WebReply AlpacaServer::Handle(bool put, const QString& path, const QByteArray& parameters) {
    Call call;
    call.put = put;
    call.parameters = ParseForm(parameters, put);
    for (const QLatin1String name :
         {QLatin1String("ClientTransactionID"), QLatin1String("ClientID")}) {
        if (!call.Has(name)) continue;
        const auto number = ParseUint32(call.Param(name));
        if (!number)
            return BadRequest(QStringLiteral("%1 is not a number from 0 to 4294967295").arg(name));
        (name == QLatin1String("ClientID") ? call.clientId : call.clientTransaction) = *number;
    }
    {
        std::lock_guard lock(mutex_);
        if (++serverTransaction_ == 0) serverTransaction_ = 1;
        call.serverTransaction = serverTransaction_;
        // Any request keeps its client's connections alive.
        for (AlpacaConnections& clients : connections_)
            clients.Seen(call.clientId, AlpacaConnections::Clock::now());
    }
    call.station = snapshots_->Current();
    call.now = clock_.NowUtc();

    if (path.startsWith(QLatin1String("/management/"))) return Management(call, path);

    // "/api/v1/<device type>/<device number>/<member>"
    const QStringList parts = path.mid(int(sizeof("/api/v1/")) - 1).split('/');
    if (parts.size() != 3) return BadRequest(QStringLiteral("Not an Alpaca device request"));
    const QString& type = parts[0];
    if (type != QLatin1String("observingconditions") && type != QLatin1String("safetymonitor"))
        return BadRequest(QStringLiteral("No device of type \"%1\"").arg(type));
    // Device numbers as the API writes them: "0", never "00" or "+0".
    const auto number = ParseUint32(parts[1]);
    if (!number || parts[1] != QString::number(*number))
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
            {"Location", identity_.location},
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
                {"UniqueID",
                 DeviceId(identity_.deviceId, QLatin1String(type)).toString(QUuid::WithoutBraces)},
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
            const QString value = call.Param(QLatin1String("Connected")).trimmed();
            std::lock_guard lock(mutex_);
            AlpacaConnections& clients = connections_[device];
            if (value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) {
                clients.Connect(call.clientId, AlpacaConnections::Clock::now());
            } else if (value.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) {
                clients.Disconnect(call.clientId);
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
        if (member == QLatin1String("connected"))
            return call.Value(Connected(device, call.clientId));
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
    const bool known = FindSensor(member) || kNotMeasured.contains(member) ||
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

    const bool connected = Connected(kObservingConditions, call.clientId);
    if (call.put && member == QLatin1String("averageperiod")) {
        bool ok = false;
        const double hours = call.Param(QLatin1String("AveragePeriod")).trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(hours)) return BadRequest("AveragePeriod must be a number");
        if (!connected)
            return call.Error(kNotConnected, QStringLiteral("The device is not connected"));
        if (hours != 0)
            return call.Error(kInvalidValue,
                              QStringLiteral("Only 0 is supported: the newest values"));
        return call.Done();
    }
    if (kNotMeasured.contains(member))
        return call.Error(kNotImplemented,
                          QStringLiteral("The station does not measure %1").arg(member));
    // What the sensors are is known without a connection.
    if (member == QLatin1String("sensordescription")) return SensorInfo(call, member);
    if (!connected) return call.Error(kNotConnected, QStringLiteral("The device is not connected"));
    if (member == QLatin1String("refresh")) return call.Done();  // the instrument reports alone
    if (member == QLatin1String("averageperiod")) return call.Value(0.0);
    if (member == QLatin1String("timesincelastupdate")) return SensorInfo(call, member);
    return SensorValue(call, member);
}

// SensorDescription and TimeSinceLastUpdate of the sensor the call names.
WebReply AlpacaServer::SensorInfo(const Call& call, const QString& member) const {
    if (!call.Has(QLatin1String("SensorName")))
        return BadRequest(QStringLiteral("SensorName is missing"));
    const QString name = call.Param(QLatin1String("SensorName")).trimmed().toLower();
    const bool description = member == QLatin1String("sensordescription");
    if (kNotMeasured.contains(name))
        return call.Error(kNotImplemented,
                          QStringLiteral("The station does not measure %1").arg(name));
    const ReadingDescription* sensor = FindSensor(name);
    // An empty name asks for the newest update of any sensor.
    if (!sensor && !(name.isEmpty() && !description))
        return call.Error(kInvalidValue, QStringLiteral("No sensor \"%1\"").arg(name));
    if (description) return call.Value(QString::fromUtf8(sensor->alpacaDescription));

    const auto seconds =
        sensor ? call.SecondsSince(*sensor) : SecondsFrom(call.station->newestReport, call.now);
    // A negative time: no value of this sensor came yet.
    return call.Value(seconds ? std::round(*seconds * 1000) / 1000 : -1.0);
}

WebReply AlpacaServer::SensorValue(const Call& call, const QString& member) const {
    const ReadingDescription& sensor = *FindSensor(member);
    const auto& latest = call.station->latest;
    if (!latest) return call.Error(kValueNotSet, QStringLiteral("No report yet"));
    const float value = ShownValue(sensor, *latest);
    if (std::isfinite(value)) return call.Value(ShortestDouble(value));
    const auto seconds = call.SecondsSince(sensor);
    return call.Error(kValueNotSet, seconds
                                        ? QStringLiteral("No %1 now: the last value came %2 s ago")
                                              .arg(member)
                                              .arg(std::floor(*seconds))
                                        : QStringLiteral("No %1 yet").arg(member));
}

WebReply AlpacaServer::SafetyMonitor(const Call& call, const QString& member) {
    if (call.put || member != QLatin1String("issafe"))
        return BadRequest(QStringLiteral("No %1 request for safetymonitor/0/%2")
                              .arg(call.put ? "PUT" : "GET", member));
    // Never safe for a client that has not connected it.
    return call.Value(Connected(kSafetyMonitor, call.clientId) && call.station->safe);
}

}  // namespace noxa
