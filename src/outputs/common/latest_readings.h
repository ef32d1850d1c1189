#pragma once

#include "core/observation.h"

#include <QObject>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace noxa {

class ObservationFeed;
class StationClock;

// The values of an observation that can be known or unknown, each on its own.
enum class Reading : std::uint8_t {
    MagV,
    MagV2,
    MagR,
    MagG,
    MagB,
    Freq1,
    Freq2,
    Freq3,
    Freq4,
    SensorTemperature,
    SkyTemperature,
    Nelm,
    CloudIndex,
    SunAltitude,
    MoonAltitude,
    MoonIllumination,
};
inline constexpr std::size_t kReadingCount = 16;

// Where a reading sits in an observation.
float Observation::*ReadingField(Reading reading);
// The reading kept at `field`; none for a value that is no reading of its own.
std::optional<Reading> ReadingAt(float Observation::*field);

// What every output shows of the readings: the newest observation and how many reports came,
// kept from the station's feed, its only writer. Outputs read it at any moment (a web request,
// a scrape) and are told when it changes.
//
// Only what is true now is shown: a reading for which no finite value came within the stale
// limit is unknown (NaN), and so is an estimate whose inputs are unknown (the cloud index
// without both temperatures, the limiting magnitude without channel 1).
class LatestReadings : public QObject {
    Q_OBJECT

public:
    LatestReadings(ObservationFeed& feed, const StationClock& clock, double staleSeconds = 120);

    // None before the first report; unknown readings are NaN.
    const std::optional<Observation>& Latest() const { return latest_; }
    std::uint64_t ReportCount() const { return reports_; }
    // Seconds since the newest report, by the clock; none before the first one.
    std::optional<double> AgeSeconds() const;
    // Seconds since a finite value of `reading` came; none before the first one. An estimate
    // is as old as the oldest reading it rests on.
    std::optional<double> SecondsSinceValue(Reading reading) const;
    UtcMilliseconds Now() const;

    // The station's name as configured: it names every output's series before a report came.
    const std::string& StationName() const { return station_; }
    void SetStationName(std::string name) { station_ = std::move(name); }

signals:
    void changed();
    // Once a second, after the station's tick.
    void ticked();

private:
    void Observed(const Observation& observation);
    // Derives what is on show from the newest report and the time; true when that changed
    // which readings are known.
    bool Refresh();
    bool FreshAt(Reading reading, UtcMilliseconds now) const;

    const StationClock& clock_;
    const double staleSeconds_;
    std::string station_;
    std::optional<Observation> newest_;  // as the report came
    std::optional<Observation> latest_;  // as it is shown
    std::array<std::optional<UtcMilliseconds>, kReadingCount> lastValue_{};
    std::uint32_t unknown_ = 0;  // a bit for each reading that is unknown now
    std::uint64_t reports_ = 0;
};

// The cloud index held to the 0..100 scale of a cloud cover.
float CloudCoverPercent(float cloudIndex);

}  // namespace noxa
