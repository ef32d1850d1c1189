#include "app/station_outputs.h"

#include "app/station.h"
#include "outputs/web/descriptor_budget.h"
#include "recording/data_file.h"
#include "time/station_clock.h"

#include <QFile>
#include <QHostInfo>

#include <vector>

namespace noxa {

StationOutputs::StationOutputs(Station& station, const StationClock& clock,
                               StationSettings settings)
    : station_(station),
      clock_(clock),
      settings_(std::move(settings)),
      latest_(station.Feed(), clock, settings_.safety.staleSeconds),
      safety_(latest_, settings_.safety, [this](const std::string& line) { Log(line); }) {}

StationOutputs::~StationOutputs() = default;

void StationOutputs::Start() {
    latest_.SetStationName(station_.Form().Text(FormText::Esitio));
    // The web server first: Home Assistant links the station's device to its dashboard.
    if (settings_.http.port != 0) StartWeb();
    if (!settings_.mqtt.host.isEmpty()) StartMqtt();
    if (settings_.ida.enabled) StartIda();
    if (settings_.nightCharts) StartNightCharts();
}

void StationOutputs::StartNightCharts() {
    nights_ = std::make_unique<NightWatcher>(station_.Feed(), clock_, station_.Dir().File("night"),
                                             station_.Place(), settings_.safety.maxCloudCover,
                                             [this](const std::string& line) { Log(line); });
    // After a restart, tonight's records so far come back from tonight's night file, or
    // else from the data files of the months the night is in.
    if (ida_ && QFile::exists(ida_->CurrentFilePath())) {
        nights_->Restore(ReadNightFile(ida_->CurrentFilePath()).samples);
        return;
    }
    const std::string station = station_.Form().Text(FormText::Esitio);
    const QDate begun = nights_->Tonight(), today = clock_.Now().date();
    std::vector<QDate> months{begun};
    if (today.month() != begun.month()) months.push_back(today);
    for (const QDate month : months) {
        const QString path = station_.Dir().File(DataFileName(station, month));
        if (!QFile::exists(path)) continue;
        const StationLocale& locale = station_.Locale();
        nights_->Restore(
            ReadDataFile(path, locale.DatePattern(), locale.TimePattern(), clock_.Now().timeZone())
                .samples);
    }
}

void StationOutputs::StartIda() {
    const IdaSettings& ida = settings_.ida;
    IdaSite site;
    site.instrumentId = ida.instrumentId.isEmpty() ? station_.Form().Text(FormText::Esitio)
                                                   : ida.instrumentId.toStdString();
    site.locationName = ida.location.toStdString();
    site.latitude = station_.Place().latitude;
    site.longitude = station_.Place().longitude;
    site.height = ida.height;
    site.fieldOfView = ida.fieldOfView;
    site.contact = ida.contact.toStdString();
    site.licence = ida.licence.toStdString();
    ida_ = std::make_unique<IdaNightFile>(station_.Feed(), clock_, station_.Dir(), std::move(site),
                                          [this](const std::string& line) { Log(line); });
    Log("Night files in " + station_.Dir().Path("ida/"));
}

void StationOutputs::StartMqtt() {
    const MqttSettings& mqtt = settings_.mqtt;
    MqttPublisherConfig config;
    config.host = mqtt.host.toStdString();
    config.port = mqtt.port;
    config.user = mqtt.user.toStdString();
    config.password = mqtt.password.toStdString();
    config.caFile = QFile::encodeName(mqtt.caFile).toStdString();
    config.topicPrefix = mqtt.topicPrefix.toStdString();
    config.discoveryPrefix = mqtt.discoveryPrefix.toStdString();
    config.stationName = station_.Form().Text(FormText::Esitio);
    config.configurationUrl = webUrl_.toStdString();
    config.staleSeconds = settings_.safety.staleSeconds;
    config.topicsFile = station_.Dir().Path("noxa-mqtt-topics.txt");
    mqtt_ = std::make_unique<MqttPublisher>(latest_, std::move(config),
                                            [this](const std::string& line) { Log(line); });
    // The metrics say whether the broker is connected.
    latest_.SetMqttConnected(false);
    QObject::connect(mqtt_.get(), &MqttPublisher::connectionChanged, mqtt_.get(),
                     [this](bool connected) { latest_.SetMqttConnected(connected); });
    mqtt_->Start();
}

void StationOutputs::StartWeb() {
    const HttpSettings& http = settings_.http;
    QHostAddress address;
    if (http.address.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        address = QHostAddress::LocalHost;
    } else if (!address.setAddress(http.address)) {
        Log("Web server not started: \"" + http.address.toStdString() +
            "\" is not an IP address (--http-address).");
        return;
    }
    WebLimits limits;
    std::string note;
    limits.maxConnections = ConnectionsThatFit(http.maxConnections, limits.maxRefusing, note);
    if (!note.empty()) Log(note);
    limits.maxConnectionsPerClient = http.maxConnectionsPerClient;
    web_ = std::make_unique<WebServer>(latest_, station_.Days(), station_.Dir(), limits);
    web_->LogTo([this](const std::string& line) { Log(line); });
    webStart_ = std::make_unique<RetriedStart>(
        [this, address]() -> std::optional<std::string> {
            QString error;
            if (!web_->Listen(address, settings_.http.port, error)) {
                return "Web server not started: " +
                       ServerUrl(address, settings_.http.port).toStdString() +
                       " cannot be opened: " + error.toStdString();
            }
            WebListening(address);
            return std::nullopt;
        },
        [this](const std::string& line) { Log(line); });
    webStart_->Start();
}

void StationOutputs::WebListening(const QHostAddress& address) {
    Log("Web server on " + ServerUrl(address, web_->Port()).toStdString());
    // A server on every address is reached through this computer's name.
    webUrl_ =
        address == QHostAddress::Any || address == QHostAddress::AnyIPv4 ||
                address == QHostAddress::AnyIPv6
            ? QStringLiteral("http://%1:%2/").arg(QHostInfo::localHostName()).arg(web_->Port())
            : ServerUrl(address, web_->Port());
    StartAlpaca(address);
}

void StationOutputs::StartAlpaca(const QHostAddress& address) {
    const std::string station = station_.Form().Text(FormText::Esitio);
    AlpacaIdentity identity;
    identity.stationName =
        QString::fromLatin1(station.data(), static_cast<qsizetype>(station.size())).trimmed();
    identity.version = QStringLiteral(NOXA_VERSION).section('.', 0, 1);
    identity.location = settings_.ida.location;
    std::vector<std::string> problems;
    identity.deviceId = KeepAlpacaDeviceId(station_.Dir(), settings_.alpaca.deviceId, problems);
    for (const std::string& problem : problems) Log(problem);
    if (settings_.alpaca.deviceId.isEmpty() && problems.empty()) {
        Log("Alpaca device id " + identity.deviceId.toStdString() + " kept in " +
            StationSettings::kFileName);
    }
    alpaca_ = std::make_unique<AlpacaServer>(latest_, safety_, std::move(identity));
    alpaca_->MountOn(*web_);

    const quint16 port = settings_.alpaca.discoveryPort;
    if (port == 0) return;
    alpacaDiscovery_ = std::make_unique<AlpacaDiscovery>(web_->Port());
    discoveryStart_ = std::make_unique<RetriedStart>(
        [this, address, port]() -> std::optional<std::string> {
            QString error;
            if (!alpacaDiscovery_->Listen(address, port, error)) {
                return "Alpaca discovery not started: UDP port " + std::to_string(port) +
                       " cannot be opened: " + error.toStdString();
            }
            const QHostAddress broadcast = alpacaDiscovery_->BroadcastAddress();
            Log("Alpaca discovery on UDP port " + std::to_string(port) + " of " +
                address.toString().toStdString() +
                (broadcast.isNull() ? "" : " and " + broadcast.toString().toStdString()));
            return std::nullopt;
        },
        [this](const std::string& line) { Log(line); });
    discoveryStart_->Start();
}

void StationOutputs::Log(const std::string& line) {
    station_.Form().AppendLog(line);
}

}  // namespace noxa
