#pragma once

#include "core/observation.h"

#include <QObject>

#include <cstdint>
#include <optional>
#include <string>

namespace noxa {

class ObservationFeed;
class StationClock;

// What every output shows: the newest observation, the link state and how many reports came,
// kept from the station's feed. Outputs read it at any moment (a web request, a scrape) and
// are told when it changes.
class LatestReadings : public QObject {
    Q_OBJECT

public:
    LatestReadings(ObservationFeed& feed, const StationClock& clock);

    // None before the first report.
    const std::optional<Observation>& Latest() const { return latest_; }
    const LinkStatus& Link() const { return link_; }
    std::uint64_t ReportCount() const { return reports_; }
    // Seconds since the newest report, by the clock; none before the first one.
    std::optional<double> AgeSeconds() const;
    UtcMilliseconds Now() const;

    // The safety rule's verdict, published with the readings; unsafe until a rule says so.
    bool Safe() const { return safe_; }
    const std::string& SafetyReason() const { return safetyReason_; }
    void SetSafety(bool safe, std::string reason);

signals:
    void changed();
    // Once a second, after the station's tick.
    void ticked();

private:
    const StationClock& clock_;
    std::optional<Observation> latest_;
    LinkStatus link_;
    std::uint64_t reports_ = 0;
    bool safe_ = false;
    std::string safetyReason_ = "no report yet";
};

// The cloud index held to the 0..100 scale of a cloud cover.
float CloudCoverPercent(float cloudIndex);

}  // namespace noxa
