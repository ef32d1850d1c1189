#include "outputs/common/station_status.h"

#include "core/observation_feed.h"
#include "time/station_clock.h"

namespace noxa {

StationStatus::StationStatus(ObservationFeed& feed, const StationClock& clock, double staleSeconds)
    : clock_(clock), staleSeconds_(staleSeconds) {
    connect(&feed, &ObservationFeed::observed, this, [this](const Observation& observation) {
        newestReport_ = observation.time;
        UpdateLink();
    });
    connect(&feed, &ObservationFeed::linkStatus, this, [this](const LinkStatus& status) {
        linkReported_ = status.ok;
        UpdateLink();
    });
}

void StationStatus::UpdateLink() {
    const bool fresh = newestReport_ && static_cast<double>(clock_.NowUtc() - *newestReport_) <=
                                            staleSeconds_ * 1000;
    const bool ok = linkReported_ && fresh;
    if (ok == linkOk_) return;
    linkOk_ = ok;
    emit changed();
}

void StationStatus::SetMqttConnected(std::optional<bool> connected) {
    if (connected == mqttConnected_) return;
    mqttConnected_ = connected;
    emit changed();
}

}  // namespace noxa
