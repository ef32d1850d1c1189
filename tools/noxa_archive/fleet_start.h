#pragma once

#include "archive/archive_counters.h"
#include "archive/archive_settings.h"
#include "core/station_log.h"

#include <QObject>
#include <QString>

#include <memory>

namespace noxa {

// The archive's web side (the fleet page, its API and metrics) when `http.port` is set: it
// reads the database through the Qt SQL connection `connectionName` (its own, on the main
// thread) and the live figures of `counters`. Nothing while it is off.
std::unique_ptr<QObject> StartFleetWeb(const QString& connectionName,
                                       const ArchiveCounters& counters,
                                       const ArchiveHttpConfig& http, const Log& log);

}  // namespace noxa
