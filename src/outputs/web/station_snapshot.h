#pragma once

#include "core/observation.h"
#include "outputs/common/latest_readings.h"
#include "outputs/common/station_view.h"

#include <QByteArray>

#include <array>
#include <memory>
#include <mutex>
#include <optional>

namespace noxa {

struct DayTables;

// What the web side shows of the station, made on the station's thread and never changed
// after: the answers that cost something made in advance, and what the Alpaca devices answer
// from. Times are instants, so that an answer given later still says how old a value is now.
struct StationSnapshot {
    QByteArray readingsJson;
    QByteArray metricsText;
    QByteArray historyJson;
    std::optional<Observation> latest;  // as shown: unknown readings NaN
    std::optional<UtcMilliseconds> newestReport;
    std::array<std::optional<UtcMilliseconds>, kReadingCount> lastValue{};
    bool safe = false;
};

// A snapshot of what the readings, the safety verdict and the station's status give now;
// `historyJson` is the chart history's answer, made when its points last changed.
std::shared_ptr<const StationSnapshot> MakeStationSnapshot(const StationView& station,
                                                           QByteArray historyJson);

// The newest snapshot: published by the station's thread after each change of the readings,
// the verdict or the status and each tick (a burst of them once), read by any thread.
class StationSnapshots : public QObject {
    Q_OBJECT

public:
    StationSnapshots(StationView station, const DayTables& days);

    std::shared_ptr<const StationSnapshot> Current() const;

private:
    // Publishes a new snapshot once the station's thread is free again.
    void Schedule();
    // Makes and publishes a new snapshot; the history's answer again only when its points
    // changed.
    void Publish();

    const StationView station_;
    const DayTables& days_;
    bool scheduled_ = false;
    std::size_t historyKey_ = 0;
    QByteArray historyJson_;
    mutable std::mutex mutex_;
    std::shared_ptr<const StationSnapshot> current_;
};

}  // namespace noxa
