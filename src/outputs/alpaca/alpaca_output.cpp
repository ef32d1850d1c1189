#include "outputs/alpaca/alpaca_output.h"

#include "core/station_name_text.h"
#include "outputs/alpaca/alpaca_discovery.h"
#include "outputs/alpaca/alpaca_server.h"
#include "outputs/common/retried_start.h"
#include "outputs/web/web_server.h"

#include <QUuid>

namespace noxa {
namespace {

class RunningAlpaca : public Output {
public:
    RunningAlpaca(OutputContext& context, AlpacaIdentity identity, quint16 discoveryPort)
        : log_(context.log),
          web_(*context.services.web),
          server_(context.latest, context.safety, std::move(identity)),
          discoveryPort_(discoveryPort) {
        server_.MountOn(web_);
        if (discoveryPort_ == 0) return;
        // Clients are told the web server's port, so discovery waits until it listens.
        if (web_.Port() != 0) {
            StartDiscovery(web_.ListeningAddress());
        } else {
            QObject::connect(&web_, &WebServer::listening, &web_,
                             [this](const QHostAddress& address) { StartDiscovery(address); });
        }
    }

private:
    void StartDiscovery(const QHostAddress& address) {
        if (discovery_) return;
        discovery_ = std::make_unique<AlpacaDiscovery>(web_.Port());
        start_ = std::make_unique<RetriedStart>(
            [this, address]() -> std::optional<std::string> {
                const std::string port = std::to_string(discoveryPort_);
                QString error;
                if (!discovery_->Listen(address, discoveryPort_, error)) {
                    return "Alpaca discovery not started: UDP port " + port +
                           " cannot be opened: " + error.toStdString();
                }
                const QHostAddress broadcast = discovery_->BroadcastAddress();
                log_.Info("Alpaca discovery on UDP port " + port + " of " +
                          address.toString().toStdString() +
                          (broadcast.isNull() ? "" : " and " + broadcast.toString().toStdString()));
                return std::nullopt;
            },
            log_);
        start_->Start();
    }

    Log log_;
    WebServer& web_;
    AlpacaServer server_;
    const quint16 discoveryPort_;
    std::unique_ptr<AlpacaDiscovery> discovery_;
    std::unique_ptr<RetriedStart> start_;
};

// The station's Alpaca id: the setting's when set, else a new one, kept in the settings file so
// that it never changes.
QString KeepDeviceId(const Settings& settings, const Log& log) {
    const QString current = settings.Text("alpaca/device_id").trimmed();
    if (!current.isEmpty()) return current;
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (settings.Keep("alpaca/device_id", id)) {
        log.Info("Alpaca device id " + id.toStdString() + " kept in " + settings.FileName());
    } else {
        log.Warning("The Alpaca device id could not be kept in " + settings.FileName() +
                    "; the devices' unique ids change at the next start.");
    }
    return id;
}

std::unique_ptr<Output> Start(const Settings& settings, OutputContext& context) {
    const quint16 discoveryPort = settings.Port("alpaca/discovery_port");
    if (context.services.web == nullptr) return nullptr;
    AlpacaIdentity identity;
    identity.stationName = StationNameText(context.stationName).trimmed();
    identity.version = QStringLiteral(NOXA_VERSION).section('.', 0, 1);
    identity.location = settings.Text("site/location");
    identity.deviceId = KeepDeviceId(settings, context.log);
    return std::make_unique<RunningAlpaca>(context, std::move(identity), discoveryPort);
}

}  // namespace

OutputKind AlpacaOutput() {
    return {{
                {"alpaca/discovery_port", "alpaca-discovery-port", "port", "32227",
                 "The UDP port on which Alpaca clients' discovery searches are answered. Off "
                 "when empty."},
                {"alpaca/device_id", nullptr, nullptr, "",
                 "The station's own id; the Alpaca devices' unique ids derive from it. Made at "
                 "the first start with the web server and kept here: copy it only when the "
                 "station moves to another computer."},
            },
            Start};
}

}  // namespace noxa
