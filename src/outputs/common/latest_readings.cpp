#include "outputs/common/latest_readings.h"

#include "core/observation_feed.h"
#include "time/station_clock.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace noxa {
namespace {

constexpr std::array<float Observation::*, kReadingCount> kFields = {
    &Observation::magV,           &Observation::magV2,
    &Observation::magR,           &Observation::magG,
    &Observation::magB,           &Observation::freq1,
    &Observation::freq2,          &Observation::freq3,
    &Observation::freq4,          &Observation::sensorTemperature,
    &Observation::skyTemperature, &Observation::nelm,
    &Observation::cloudIndex,     &Observation::sunAltitude,
    &Observation::moonAltitude,   &Observation::moonIllumination,
};

std::size_t Index(Reading reading) {
    return static_cast<std::size_t>(reading);
}

double Seconds(UtcMilliseconds milliseconds) {
    return std::max(0.0, static_cast<double>(milliseconds) / 1000.0);
}

}  // namespace

float Observation::*ReadingField(Reading reading) {
    return kFields[Index(reading)];
}

std::optional<Reading> ReadingAt(float Observation::*field) {
    const auto found = std::find(kFields.begin(), kFields.end(), field);
    if (found == kFields.end()) return std::nullopt;
    return static_cast<Reading>(found - kFields.begin());
}

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
    const auto finite = [&](Reading reading) {
        return std::isfinite(observation.*ReadingField(reading));
    };
    for (std::size_t i = 0; i < kReadingCount; ++i) {
        const auto reading = static_cast<Reading>(i);
        // An estimate is as new as the readings it rests on.
        bool known = finite(reading);
        if (reading == Reading::CloudIndex)
            known = known && finite(Reading::SensorTemperature) && finite(Reading::SkyTemperature);
        if (reading == Reading::Nelm) known = known && finite(Reading::MagV);
        if (known) lastValue_[i] = observation.time;
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
    for (std::size_t i = 0; i < kReadingCount; ++i) {
        if (FreshAt(static_cast<Reading>(i), now) && std::isfinite(shown.*kFields[i])) continue;
        shown.*kFields[i] = std::numeric_limits<float>::quiet_NaN();
        unknown_ |= 1u << i;
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

float CloudCoverPercent(float cloudIndex) {
    if (std::isnan(cloudIndex)) return cloudIndex;
    return std::clamp(cloudIndex, 0.0f, 100.0f);
}

}  // namespace noxa
