#pragma once

#include "archive/fleet/fleet_web_server.h"
#include "outputs/common/retried_start.h"

#include <QHostAddress>
#include <QString>

#include <memory>

namespace noxa {

struct ArchiveCounters;

// How noxa-archive serves its web side.
struct FleetWebOptions {
    quint16 port = 0;  // off when 0
    QHostAddress address = QHostAddress::LocalHost;
    // A station silent for longer is stale.
    qint64 staleSeconds = 900;
    WebLimits limits = FleetWebLimits();
};

// noxa-archive's web side as its main() holds it: the FleetWebServer on `options.address`
// and port, reading the stations from `board`, the records through the database connection
// `connectionName`, and `counters`. It tries to
// listen at once and every 5 s until it can (a port still held, an address not up yet), with
// one log line for each failure and "Fleet web on http://…/" once it listens.
class FleetWeb {
public:
    FleetWeb(const FleetWebOptions& options, QString connectionName, const StationBoard& board,
             const ArchiveCounters& counters, Log log);

    FleetWebServer& Server() { return server_; }

private:
    FleetWebServer server_;
    std::unique_ptr<RetriedStart> start_;
};

// The web side when `options` give a port; nothing otherwise.
std::unique_ptr<FleetWeb> StartFleetWeb(const FleetWebOptions& options, QString connectionName,
                                        const StationBoard& board, const ArchiveCounters& counters,
                                        Log log);

}  // namespace noxa
