#pragma once

#include "core/output.h"
#include "core/settings.h"
#include "outputs/common/latest_readings.h"
#include "outputs/common/safety_rule.h"
#include "outputs/common/station_status.h"
#include "outputs/common/station_view.h"
#include "time/sun_moon.h"

#include <memory>
#include <vector>

namespace noxa {

class Station;
class StationClock;

// Every output the station can run, in the order they start.
const std::vector<OutputKind>& OutputKinds();

// The outputs the user turned on in the settings, fed by the station's observations, with the
// newest readings, the safety verdict and the connections' status they share. Each output owns its
// sockets and files and says in the station's log what it does and what fails.
class StationOutputs {
public:
    StationOutputs(Station& station, const StationClock& clock, Settings settings,
                   QTimeZone siteZone);
    ~StationOutputs();

    // Starts every output that is turned on; called once the station has started.
    void Start();

    const LatestReadings& Latest() const { return latest_; }
    const SafetyRule& Safety() const { return safety_; }
    const StationStatus& Status() const { return status_; }
    StationView View() const { return {latest_, safety_, status_}; }

private:
    Station& station_;
    const StationClock& clock_;
    const Settings settings_;
    const SafetyLimits limits_;
    // Made before any output, so they hear of the feed's news first (the rule of the
    // readings' changes): an output that is told reads them already brought up to date.
    StationStatus status_;
    LatestReadings latest_;
    SafetyRule safety_;
    ObserverPlace place_;
    const QTimeZone siteZone_;
    OutputServices services_;
    // Stopped in the reverse order of their start: those that rest on another go first.
    std::vector<std::unique_ptr<Output>> running_;
};

}  // namespace noxa
