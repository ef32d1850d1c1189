#include "outputs/common/latest_readings.h"

#include "core/observation_feed.h"
#include "time/station_clock.h"

#include <algorithm>
#include <cmath>

namespace noxa {

LatestReadings::LatestReadings(ObservationFeed& feed, const StationClock& clock) : clock_(clock) {
    connect(&feed, &ObservationFeed::observed, this, [this](const Observation& observation) {
        latest_ = observation;
        ++reports_;
        emit changed();
    });
    connect(&feed, &ObservationFeed::linkStatus, this, [this](const LinkStatus& status) {
        const bool differs = status.ok != link_.ok;
        link_ = status;
        if (differs) emit changed();
        emit ticked();
    });
}

void LatestReadings::SetSafety(bool safe, std::string reason) {
    const bool differs = safe != safe_;
    safe_ = safe;
    safetyReason_ = std::move(reason);
    if (differs) emit changed();
}

UtcMilliseconds LatestReadings::Now() const {
    return clock_.NowUtc();
}

std::optional<double> LatestReadings::AgeSeconds() const {
    if (!latest_) return std::nullopt;
    return std::max<double>(0.0, static_cast<double>(Now() - latest_->time) / 1000.0);
}

float CloudCoverPercent(float cloudIndex) {
    if (std::isnan(cloudIndex)) return cloudIndex;
    return std::clamp(cloudIndex, 0.0f, 100.0f);
}

}  // namespace noxa
