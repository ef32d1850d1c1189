#pragma once

#include "outputs/common/station_view.h"

#include <QByteArray>

namespace noxa {

// The newest readings, the safety verdict and the connections in Prometheus' text exposition
// format (version 0.0.4): each metric with its "# HELP" and "# TYPE" lines, labelled with the
// station's name. The readings' gauges appear once a report has come; the report counter is
// always there.
QByteArray MetricsText(const StationView& station);

// The Content-Type of that text.
inline constexpr char kMetricsContentType[] = "text/plain; version=0.0.4; charset=utf-8";

}  // namespace noxa
