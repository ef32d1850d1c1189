#include "fleet_start.h"

namespace noxa {

// This build has no web side: the archive stores and confirms, and says so when asked to serve.
std::unique_ptr<QObject> StartFleetWeb(const QString&, const ArchiveCounters&,
                                       const ArchiveHttpConfig& http, const Log& log) {
    if (http.port != 0) log.Warning("This build of noxa-archive has no web side; --http ignored.");
    return nullptr;
}

}  // namespace noxa
