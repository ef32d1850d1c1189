#pragma once

#include <QByteArray>

namespace noxa {

class LatestReadings;

// The newest readings in Prometheus' text exposition format (version 0.0.4): each metric with
// its "# HELP" and "# TYPE" lines, labelled with the station's name. Gauges appear once a
// report has come; the report counter is always there.
QByteArray MetricsText(const LatestReadings& readings);

// The Content-Type of that text.
inline constexpr char kMetricsContentType[] = "text/plain; version=0.0.4; charset=utf-8";

}  // namespace noxa
