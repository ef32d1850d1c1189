#include "outputs/common/metrics_text.h"

#include "outputs/common/exposition_text.h"
#include "outputs/common/latest_readings.h"
#include "outputs/common/reading_description.h"
#include "outputs/common/safety_rule.h"
#include "outputs/common/shortest_decimal.h"
#include "outputs/common/station_status.h"
#include "outputs/common/station_view.h"

#include <QString>

#include <cmath>

namespace noxa {
namespace {

// A label value: the station's name is 8-bit text of the system's code page.
QByteArray LabelValue(const std::string& text) {
    return ExpositionLabelValue(
        QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())).toUtf8());
}

QByteArray Value(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    return QByteArray::number(value, 'g', 15);
}

// A reading with the digits it was measured with: 21.34f as 21.34, not 21.3400001525879.
QByteArray Value(float value) {
    if (!std::isfinite(value)) return Value(static_cast<double>(value));
    return ShortestDecimal(value);
}

// A sample; an unknown value is left out, as the exposition format has no "unknown".
template <typename Number>
void Sample(QByteArray& out, const char* name, const QByteArray& labels, Number value) {
    if (std::isnan(value)) return;
    out += name;
    out += '{';
    out += labels;
    out += "} ";
    out += Value(value);
    out += '\n';
}

template <typename Number>
void Gauge(QByteArray& out, const char* name, const char* help, const QByteArray& labels,
           Number value) {
    ExpositionFamily(out, name, "gauge", help);
    Sample(out, name, labels, value);
}

void ReadingMetrics(QByteArray& out, const QByteArray& station, const Observation& o) {
    for (const MetricFamily* family : ReadingMetricFamilies()) {
        ExpositionFamily(out, family->name, "gauge", family->help);
        for (const ReadingDescription& reading : ReadingDescriptions()) {
            if (reading.metric != family) continue;
            const QByteArray labels =
                reading.metricLabel ? station + ',' + reading.metricLabel : station;
            Sample(out, family->name, labels, ShownValue(reading, o));
        }
    }
    Gauge(out, "noxa_last_report_timestamp_seconds", "Unix time of the newest report, in seconds.",
          station, static_cast<double>(o.time) / 1000.0);
}

}  // namespace

QByteArray MetricsText(const StationView& view) {
    const LatestReadings& readings = view.readings;
    QByteArray out;
    const QByteArray station = "station=\"" + LabelValue(readings.StationName()) + '"';

    Gauge(out, "noxa_build_info", "The station's version, as a label; always 1.",
          "version=\"" NOXA_VERSION "\"", 1.0);
    ExpositionFamily(out, "noxa_reports_total", "counter",
                     "Reports of the station's instrument decoded.");
    Sample(out, "noxa_reports_total", station, static_cast<double>(readings.ReportCount()));
    Gauge(out, "noxa_link_ok", "1 while the link works and reports are fresh, 0 otherwise.",
          station, view.status.LinkOk() ? 1.0 : 0.0);
    Gauge(out, "noxa_safe",
          "1 while the sky is safe for the observatory by the safety rule, 0 otherwise.", station,
          view.safety.IsSafe() ? 1.0 : 0.0);
    if (const auto mqtt = view.status.MqttConnected()) {
        Gauge(out, "noxa_mqtt_connected", "1 while the MQTT broker is connected, 0 otherwise.",
              station, *mqtt ? 1.0 : 0.0);
    }
    if (const auto& latest = readings.Latest()) ReadingMetrics(out, station, *latest);
    return out;
}

}  // namespace noxa
