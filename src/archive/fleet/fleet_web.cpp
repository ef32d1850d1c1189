#include "archive/fleet/fleet_web.h"

namespace noxa {

FleetWeb::FleetWeb(const FleetWebOptions& options, QString connectionName,
                   const StationBoard& board, const ArchiveCounters& counters, Log log)
    : server_(std::move(connectionName), board, counters, options.staleSeconds, log,
              options.limits) {
    QObject::connect(&server_, &RouteServer::listening, &server_,
                     [this, log](const QHostAddress& on) {
                         log.Info("Fleet web on " + ServerUrl(on, server_.Port()).toStdString());
                     });
    const QHostAddress address = options.address;
    const quint16 port = options.port;
    start_ = std::make_unique<RetriedStart>(
        [this, address, port]() -> std::optional<std::string> {
            QString error;
            if (server_.Listen(address, port, error)) return std::nullopt;
            return "Fleet web not started: " + ServerUrl(address, port).toStdString() +
                   " cannot be opened: " + error.toStdString();
        },
        log);
    start_->Start();
}

std::unique_ptr<FleetWeb> StartFleetWeb(const FleetWebOptions& options, QString connectionName,
                                        const StationBoard& board, const ArchiveCounters& counters,
                                        Log log) {
    if (options.port == 0) return nullptr;
    return std::make_unique<FleetWeb>(options, std::move(connectionName), board, counters,
                                      std::move(log));
}

}  // namespace noxa
