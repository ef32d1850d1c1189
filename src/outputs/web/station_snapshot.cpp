#include "outputs/web/station_snapshot.h"

#include "core/day_tables.h"
#include "outputs/common/metrics_text.h"
#include "outputs/common/readings_json.h"
#include "outputs/common/safety_rule.h"
#include "outputs/common/station_status.h"
#include "outputs/web/history_json.h"

#include <QHashFunctions>
#include <QTimer>

#include <cmath>

namespace noxa {
namespace {

// The instant `seconds` before `now`.
std::optional<UtcMilliseconds> Before(UtcMilliseconds now, std::optional<double> seconds) {
    if (!seconds) return std::nullopt;
    return now - static_cast<UtcMilliseconds>(std::llround(*seconds * 1000));
}

}  // namespace

std::shared_ptr<const StationSnapshot> MakeStationSnapshot(const StationView& station,
                                                           QByteArray historyJson) {
    const LatestReadings& readings = station.readings;
    auto snapshot = std::make_shared<StationSnapshot>();
    snapshot->readingsJson = ReadingsJson(station);
    snapshot->metricsText = MetricsText(station);
    snapshot->historyJson = std::move(historyJson);
    snapshot->latest = readings.Latest();
    const UtcMilliseconds now = readings.Now();
    snapshot->newestReport = Before(now, readings.AgeSeconds());
    for (std::size_t i = 0; i < kReadingCount; ++i)
        snapshot->lastValue[i] = Before(now, readings.SecondsSinceValue(static_cast<Reading>(i)));
    snapshot->safe = station.safety.IsSafe();
    return snapshot;
}

StationSnapshots::StationSnapshots(StationView station, const DayTables& days)
    : station_(station), days_(days) {
    connect(&station_.readings, &LatestReadings::changed, this, &StationSnapshots::Schedule);
    connect(&station_.readings, &LatestReadings::ticked, this, &StationSnapshots::Schedule);
    connect(&station_.safety, &SafetyRule::changed, this, &StationSnapshots::Schedule);
    connect(&station_.status, &StationStatus::changed, this, &StationSnapshots::Schedule);
    Publish();
}

std::shared_ptr<const StationSnapshot> StationSnapshots::Current() const {
    std::lock_guard lock(mutex_);
    return current_;
}

void StationSnapshots::Schedule() {
    // A burst of reports costs one snapshot: it is made once the station's thread has handled
    // what is waiting, not once a report.
    if (scheduled_) return;
    scheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        scheduled_ = false;
        Publish();
    });
}

void StationSnapshots::Publish() {
    // The chart points change once a chart interval: their answer is made again only then.
    const std::size_t key = qHashBits(days_.slot.data(), sizeof days_.slot);
    if (historyJson_.isEmpty() || key != historyKey_) {
        historyJson_ = HistoryJson(days_);
        historyKey_ = key;
    }
    auto snapshot = MakeStationSnapshot(station_, historyJson_);
    std::lock_guard lock(mutex_);
    current_ = std::move(snapshot);
}

}  // namespace noxa
