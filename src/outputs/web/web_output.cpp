#include "outputs/web/web_output.h"

#include "outputs/common/retried_start.h"
#include "outputs/web/descriptor_budget.h"
#include "outputs/web/web_server.h"

#include <QHostInfo>

namespace noxa {
namespace {

class RunningWebServer : public Output {
public:
    RunningWebServer(OutputContext& context, const QHostAddress& address, quint16 port,
                     WebLimits limits)
        : log_(context.log),
          services_(context.services),
          server_({context.latest, context.safety, context.status}, context.days, context.dir,
                  limits) {
        server_.LogTo(log_);
        QObject::connect(&server_, &WebServer::listening, &server_,
                         [this](const QHostAddress& on) { Listening(on); });
        services_.web = &server_;
        start_ = std::make_unique<RetriedStart>(
            [this, address, port]() -> std::optional<std::string> {
                QString error;
                if (server_.Listen(address, port, error)) return std::nullopt;
                return "Web server not started: " + ServerUrl(address, port).toStdString() +
                       " cannot be opened: " + error.toStdString();
            },
            log_);
        start_->Start();
    }
    ~RunningWebServer() override { services_.web = nullptr; }

private:
    void Listening(const QHostAddress& address) {
        log_.Info("Web server on " + ServerUrl(address, server_.Port()).toStdString());
        // A server on every address is reached through this computer's name.
        const bool everywhere = address == QHostAddress::Any || address == QHostAddress::AnyIPv4 ||
                                address == QHostAddress::AnyIPv6;
        services_.webUrl = everywhere ? QStringLiteral("http://%1:%2/")
                                            .arg(QHostInfo::localHostName())
                                            .arg(server_.Port())
                                      : ServerUrl(address, server_.Port());
    }

    Log log_;
    OutputServices& services_;
    WebServer server_;
    std::unique_ptr<RetriedStart> start_;
};

std::unique_ptr<Output> Start(const Settings& settings, OutputContext& context) {
    const quint16 port = settings.Port("http/port");
    const int connections = static_cast<int>(*settings.Number("http/max_connections", 1, 1000));
    const int perClient =
        static_cast<int>(*settings.Number("http/max_connections_per_client", 1, 1000));
    if (port == 0) return nullptr;
    const QString text = settings.Text("http/address");
    QHostAddress address;
    if (text.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        address = QHostAddress::LocalHost;
    } else if (!address.setAddress(text)) {
        context.log.Error("Web server not started: \"" + text.toStdString() +
                          "\" is not an IP address (--http-address).");
        return nullptr;
    }
    WebLimits limits;
    std::string note;
    limits.maxConnections = ConnectionsThatFit(connections, limits.maxRefusing, note);
    if (!note.empty()) context.log.Warning(note);
    limits.maxConnectionsPerClient = perClient;
    return std::make_unique<RunningWebServer>(context, address, port, limits);
}

}  // namespace

OutputKind WebOutput() {
    return {{
                {"http/port", "http", "port", "",
                 "Serve the dashboard, the JSON API and the metrics on this TCP port. Off when "
                 "empty."},
                {"http/address", "http-address", "address", "127.0.0.1",
                 "The address the web server listens on; 0.0.0.0 opens it to the local network."},
                {"http/max_connections", "http-max-connections", "count", "64",
                 "The most web clients connected at once (1 to 1000)."},
                {"http/max_connections_per_client", "http-max-connections-per-client", "count",
                 "16", "The most web connections at once from one address (1 to 1000)."},
            },
            Start};
}

}  // namespace noxa
