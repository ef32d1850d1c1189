#include "outputs/web/station_snapshot.h"

#include "core/day_tables.h"
#include "outputs/common/metrics_text.h"
#include "outputs/common/readings_json.h"
#include "outputs/web/history_json.h"

#include <QHashFunctions>

#include <cmath>

namespace noxa {
namespace {

// The instant `seconds` before `now`.
std::optional<UtcMilliseconds> Before(UtcMilliseconds now, std::optional<double> seconds) {
    if (!seconds) return std::nullopt;
    return now - static_cast<UtcMilliseconds>(std::llround(*seconds * 1000));
}

}  // namespace

std::shared_ptr<const StationSnapshot> MakeStationSnapshot(const LatestReadings& readings,
                                                           QByteArray historyJson) {
    auto snapshot = std::make_shared<StationSnapshot>();
    snapshot->readingsJson = ReadingsJson(readings);
    snapshot->metricsText = MetricsText(readings);
    snapshot->historyJson = std::move(historyJson);
    snapshot->latest = readings.Latest();
    const UtcMilliseconds now = readings.Now();
    snapshot->newestReport = Before(now, readings.AgeSeconds());
    for (std::size_t i = 0; i < kReadingCount; ++i)
        snapshot->lastValue[i] = Before(now, readings.SecondsSinceValue(static_cast<Reading>(i)));
    snapshot->safe = readings.Safe();
    return snapshot;
}

StationSnapshots::StationSnapshots(const LatestReadings& readings, const DayTables& days)
    : readings_(readings), days_(days) {
    connect(&readings_, &LatestReadings::changed, this, &StationSnapshots::Publish);
    connect(&readings_, &LatestReadings::ticked, this, &StationSnapshots::Publish);
    Publish();
}

std::shared_ptr<const StationSnapshot> StationSnapshots::Current() const {
    std::lock_guard lock(mutex_);
    return current_;
}

void StationSnapshots::Publish() {
    // The chart points change once a chart interval: their answer is made again only then.
    const std::size_t key = qHashBits(days_.slot.data(), sizeof days_.slot);
    if (historyJson_.isEmpty() || key != historyKey_) {
        historyJson_ = HistoryJson(days_);
        historyKey_ = key;
    }
    auto snapshot = MakeStationSnapshot(readings_, historyJson_);
    std::lock_guard lock(mutex_);
    current_ = std::move(snapshot);
}

}  // namespace noxa
