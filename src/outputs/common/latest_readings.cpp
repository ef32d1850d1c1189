#include "outputs/common/latest_readings.h"

#include "core/observation_feed.h"
#include "time/station_clock.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace noxa {
namespace {

double Seconds(UtcMilliseconds milliseconds) {
    return std::max(0.0, static_cast<double>(milliseconds) / 1000.0);
}

}  // namespace

LatestReadings::LatestReadings(ObservationFeed& feed, const StationClock& clock,
                               double staleSeconds)
    : clock_(clock), staleSeconds_(staleSeconds) {
    connect(&feed, &ObservationFeed::observed, this, &LatestReadings::Observed);
    connect(&feed, &ObservationFeed::linkStatus, this, [this] {
        if (Refresh()) emit changed();
        emit ticked();
    });
}

void LatestReadings::Observed(const Observation& observation) {
    newest_ = observation;
    station_ = observation.station;
    // An estimate has a value only with every reading it rests on, which come before it.
    std::uint32_t unknown = 0;
    for (const ReadingDescription& reading : kReadings) {
        if (std::isfinite(reading.field.Of(observation)) && !(unknown & reading.restsOn)) {
            lastValue_[Index(reading.id)] = observation.time;
        } else {
            unknown |= Bit(reading.id);
        }
    }
    ++reports_;
    Refresh();
    emit changed();
}

bool LatestReadings::FreshAt(Reading reading, UtcMilliseconds now) const {
    const auto& last = lastValue_[Index(reading)];
    return last && Seconds(now - *last) <= staleSeconds_;
}

bool LatestReadings::Refresh() {
    const std::uint32_t wasUnknown = unknown_;
    if (!newest_) return false;
    Observation shown = *newest_;
    unknown_ = 0;
    // One reading of the clock for all: the clock is asked at every report.
    const UtcMilliseconds now = Now();
    for (const ReadingDescription& reading : kReadings) {
        float& value = reading.field.Of(shown);
        if (FreshAt(reading.id, now) && std::isfinite(value) && !(unknown_ & reading.restsOn))
            continue;
        value = std::numeric_limits<float>::quiet_NaN();
        unknown_ |= Bit(reading.id);
    }
    latest_ = shown;
    return wasUnknown != unknown_;
}

UtcMilliseconds LatestReadings::Now() const {
    return clock_.NowUtc();
}

std::optional<double> LatestReadings::AgeSeconds() const {
    if (!newest_) return std::nullopt;
    return Seconds(Now() - newest_->time);
}

std::optional<double> LatestReadings::SecondsSinceValue(Reading reading) const {
    const auto& last = lastValue_[Index(reading)];
    if (!last) return std::nullopt;
    return Seconds(Now() - *last);
}

}  // namespace noxa
