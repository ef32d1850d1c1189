#include "archive/fleet/fleet_metrics.h"

#include "archive/archive_counters.h"
#include "outputs/common/exposition_text.h"

#include <QLocale>

#include <cmath>
#include <optional>

namespace noxa {
namespace {

QByteArray Value(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

void Sample(QByteArray& out, const QByteArray& name, const QByteArray& labels, double value) {
    out += name;
    if (!labels.isEmpty()) out += '{' + labels + '}';
    out += ' ' + Value(value) + '\n';
}

void Single(QByteArray& out, const char* name, const char* type, const char* help, double value) {
    ExpositionFamily(out, name, type, help);
    Sample(out, name, {}, value);
}

void CommitHistogram(QByteArray& out, const ArchiveCounters& c) {
    const char* name = "noxa_archive_commit_seconds";
    ExpositionFamily(out, name, "histogram",
                     "How long each batch's database commit took, in seconds.");
    const QByteArray bucket = QByteArray(name) + "_bucket";
    for (std::size_t i = 0; i < c.commitBuckets.size() && i < c.commitCounts.size(); ++i) {
        Sample(out, bucket, "le=\"" + Value(c.commitBuckets[i]) + '"',
               static_cast<double>(c.commitCounts[i]));
    }
    Sample(out, bucket, "le=\"+Inf\"", static_cast<double>(c.commitCount));
    Sample(out, QByteArray(name) + "_sum", {}, c.commitSecondsSum);
    Sample(out, QByteArray(name) + "_count", {}, static_cast<double>(c.commitCount));
}

// One family with a sample per station; `value` empty leaves the station out.
template <typename ValueOf>
void PerStation(QByteArray& out, const char* name, const char* help,
                const std::vector<StationSummary>& stations, ValueOf value) {
    ExpositionFamily(out, name, "gauge", help);
    for (const StationSummary& s : stations) {
        const std::optional<double> v = value(s);
        if (v) Sample(out, name, "station=\"" + ExpositionLabelValue(s.id.toUtf8()) + '"', *v);
    }
}

}  // namespace

QByteArray FleetMetricsText(const ArchiveCounters& c, const std::vector<StationSummary>& stations,
                            qint64 staleSeconds) {
    QByteArray out;
    Single(out, "noxa_archive_records_total", "counter", "New records committed since start.",
           static_cast<double>(c.recordsArchived));
    Single(out, "noxa_archive_repeated_records_total", "counter",
           "Records received again that changed nothing.", static_cast<double>(c.recordsRepeated));
    Single(out, "noxa_archive_rejected_records_total", "counter", "Unreadable record payloads.",
           static_cast<double>(c.recordsRejected));
    ExpositionFamily(out, "noxa_archive_refused_messages_total", "counter",
                     "Messages refused before they were stored, by kind.");
    for (std::size_t i = 0; i < c.refused.size(); ++i) {
        Sample(out, "noxa_archive_refused_messages_total",
               QByteArray("kind=\"") + RefusalLabel(static_cast<Refusal>(i)) + '"',
               static_cast<double>(c.refused[i]));
    }
    Single(out, "noxa_archive_waiting_records", "gauge", "Records received, not committed yet.",
           static_cast<double>(c.recordsWaiting));
    Single(out, "noxa_archive_broker_connected", "gauge",
           "1 while the MQTT broker is connected, 0 otherwise.", c.brokerConnected ? 1 : 0);
    Single(out, "noxa_archive_database_up", "gauge", "1 while the database works, 0 otherwise.",
           c.databaseUp ? 1 : 0);
    CommitHistogram(out, c);
    using Figure = std::optional<double>;
    PerStation(out, "noxa_archive_station_records", "Records stored of the station.", stations,
               [](const StationSummary& s) -> Figure { return static_cast<double>(s.records); });
    PerStation(out, "noxa_archive_station_last_record_age_seconds",
               "Seconds since the end of the station's newest record.", stations,
               [](const StationSummary& s) -> Figure { return s.ageSeconds; });
    PerStation(out, "noxa_archive_station_online", "1 while the station says it is online.",
               stations, [](const StationSummary& s) -> Figure {
                   return s.availability == QLatin1String("online") ? 1 : 0;
               });
    PerStation(out, "noxa_archive_station_safe",
               "1 when the station finds the sky safe, 0 unsafe; absent when unknown.", stations,
               [](const StationSummary& s) -> Figure {
                   return s.safe ? std::optional<double>(*s.safe ? 1 : 0) : std::nullopt;
               });
    PerStation(out, "noxa_archive_station_stale_seconds",
               "The silence after which a station counts as stale, in seconds.", stations,
               [staleSeconds](const StationSummary&) -> Figure {
                   return static_cast<double>(staleSeconds);
               });
    return out;
}

}  // namespace noxa
