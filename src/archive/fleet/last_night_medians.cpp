#include "archive/fleet/last_night_medians.h"

#include "core/median.h"
#include "outputs/common/shortest_decimal.h"

#include <QElapsedTimer>

#include <set>

namespace noxa {
namespace {

constexpr qint64 kMinuteMs = 60'000;
constexpr qint64 kAfterRecordsMs = 10 * kMinuteMs;
constexpr qint64 kEveryMs = 60 * kMinuteMs;
// While stations are due: this long on them, then a pause for the rest of the thread.
constexpr qint64 kBudgetMs = 20;
constexpr int kBusyPauseMs = 50;
constexpr int kIdlePauseMs = 10'000;

}  // namespace

LastNightMedians::LastNightMedians(QString connectionName, StationBoard& board,
                                   const StationClock& clock, QObject* parent)
    : QObject(parent), reader_(std::move(connectionName)), board_(board), clock_(clock) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &LastNightMedians::Tick);
}

void LastNightMedians::Start() {
    timer_.start(0);
}

void LastNightMedians::Tick() {
    timer_.start(Refresh(kBudgetMs) ? kIdlePauseMs : kBusyPauseMs);
}

bool LastNightMedians::Due(const StationFacts& station, qint64 now) const {
    const auto look = looks_.find(station.id);
    if (look == looks_.end()) return true;
    const qint64 since = now - look->second.at;
    return since >= kEveryMs ||
           (since >= kAfterRecordsMs && station.lastEnd != look->second.lastEnd);
}

void LastNightMedians::Prune(const std::vector<StationFacts>& stations) {
    std::set<QString> held;
    for (const StationFacts& station : stations) held.insert(station.id);
    std::erase_if(looks_, [&held](const auto& look) { return !held.contains(look.first); });
}

bool LastNightMedians::Refresh(qint64 budgetMs) {
    QElapsedTimer spent;
    spent.start();
    std::vector<float> dark;
    const std::vector<StationFacts> stations = board_.Copy();
    if (looks_.size() > stations.size()) Prune(stations);
    for (const StationFacts& station : stations) {
        const qint64 now = clock_.NowUtc();
        if (!Due(station, now)) continue;
        if (spent.elapsed() >= budgetMs) return false;
        QString error;
        // A database away is said by the ingest; the station is looked at again later.
        if (!reader_.LastNightDarkMagnitudes(station.id, now, dark, error)) return true;
        const std::optional<float> median = Median(dark);
        board_.SetLastNight(station.id,
                            median ? std::optional(ShortestDouble(*median)) : std::nullopt);
        looks_[station.id] = {now, station.lastEnd};
    }
    return true;
}

}  // namespace noxa
