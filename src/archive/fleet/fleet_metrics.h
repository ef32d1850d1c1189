#pragma once

#include "archive/fleet/station_summary.h"

#include <QByteArray>

#include <vector>

namespace noxa {

struct ArchiveCounters;

// The archive's figures and its stations' in Prometheus' text exposition format (version
// 0.0.4), each family with its "# HELP" and "# TYPE" lines; a station's samples labelled
// with its id. A station's safety is left out while it is unknown.
QByteArray FleetMetricsText(const ArchiveCounters& counters,
                            const std::vector<StationSummary>& stations, qint64 staleSeconds);

}  // namespace noxa
