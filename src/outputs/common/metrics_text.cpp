#include "outputs/common/metrics_text.h"

#include "outputs/common/latest_readings.h"

#include <QString>

#include <cmath>
#include <initializer_list>
#include <utility>

namespace noxa {
namespace {

// A label value with backslash, double quote and line feed escaped.
QByteArray LabelValue(const std::string& text) {
    QByteArray out;
    // The station name is 8-bit text of the system's code page.
    for (const QChar c : QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()))) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += QString(c).toUtf8();
        }
    }
    return out;
}

QByteArray Value(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    return QByteArray::number(value, 'g', 15);
}

// A reading with the digits it was measured with: 21.34f as 21.34, not 21.3400001525879.
QByteArray Value(float value) {
    if (!std::isfinite(value)) return Value(static_cast<double>(value));
    return QByteArray::number(value, 'g', 7);
}

void Family(QByteArray& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

template <typename Number>
void Sample(QByteArray& out, const char* name, const QByteArray& labels, Number value) {
    out += name;
    out += '{';
    out += labels;
    out += "} ";
    out += Value(value);
    out += '\n';
}

}  // namespace

QByteArray MetricsText(const LatestReadings& readings) {
    QByteArray out;
    const auto& latest = readings.Latest();
    const QByteArray station =
        "station=\"" + LabelValue(latest ? latest->station : std::string()) + '"';

    Family(out, "noxa_reports_total", "counter", "Reports of the station's instrument decoded.");
    Sample(out, "noxa_reports_total", station, static_cast<double>(readings.ReportCount()));
    Family(out, "noxa_link_ok", "gauge",
           "1 while the link works and reports are fresh, 0 otherwise.");
    Sample(out, "noxa_link_ok", station, readings.Link().ok ? 1.0 : 0.0);
    Family(out, "noxa_safe", "gauge",
           "1 while the sky is safe for the observatory by the safety rule, 0 otherwise.");
    Sample(out, "noxa_safe", station, readings.Safe() ? 1.0 : 0.0);
    if (!latest) return out;

    const Observation& o = *latest;
    Family(out, "noxa_sky_brightness", "gauge",
           "Sky brightness in mag/arcsec^2 by channel (v: 740 nm, v2: 640 nm, r, g, b).");
    for (const auto& [channel, value] :
         {std::pair{"v", o.magV}, std::pair{"v2", o.magV2}, std::pair{"r", o.magR},
          std::pair{"g", o.magG}, std::pair{"b", o.magB}}) {
        Sample(out, "noxa_sky_brightness", station + ",channel=\"" + channel + '"', value);
    }
    Family(out, "noxa_frequency_hertz", "gauge", "Channel frequency in Hz (channels 1 to 4).");
    for (const auto& [channel, value] : {std::pair{"1", o.freq1}, std::pair{"2", o.freq2},
                                         std::pair{"3", o.freq3}, std::pair{"4", o.freq4}}) {
        Sample(out, "noxa_frequency_hertz", station + ",channel=\"" + channel + '"', value);
    }
    Family(out, "noxa_temperature_celsius", "gauge",
           "Temperature in degrees Celsius (sensor: the instrument's, sky: infrared).");
    Sample(out, "noxa_temperature_celsius", station + ",sensor=\"sensor\"", o.sensorTemperature);
    Sample(out, "noxa_temperature_celsius", station + ",sensor=\"sky\"", o.skyTemperature);
    Family(out, "noxa_cloud_cover_percent", "gauge", "Cloud cover estimate, 0 to 100 percent.");
    Sample(out, "noxa_cloud_cover_percent", station, CloudCoverPercent(o.cloudIndex));
    Family(out, "noxa_nelm", "gauge", "Naked-eye limiting magnitude.");
    Sample(out, "noxa_nelm", station, o.nelm);
    Family(out, "noxa_last_report_timestamp_seconds", "gauge",
           "Unix time of the newest report, in seconds.");
    Sample(out, "noxa_last_report_timestamp_seconds", station,
           static_cast<double>(o.time) / 1000.0);
    return out;
}

}  // namespace noxa
