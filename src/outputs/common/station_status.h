#pragma once

#include "core/observation.h"

#include <QObject>

#include <optional>

namespace noxa {

class ObservationFeed;
class StationClock;

// How the station's connections stand: its link to the instrument, followed from the station's
// feed, and its MQTT broker, which only the MQTT output sets. Outputs read it at any moment and
// are told when either changes.
class StationStatus : public QObject {
    Q_OBJECT

public:
    StationStatus(ObservationFeed& feed, const StationClock& clock, double staleSeconds = 120);

    // The station sees its link working and the newest report is within the stale limit.
    bool LinkOk() const { return linkOk_; }

    // Whether the MQTT publisher is connected to its broker; none while MQTT is off.
    std::optional<bool> MqttConnected() const { return mqttConnected_; }
    void SetMqttConnected(std::optional<bool> connected);

signals:
    void changed();

private:
    void UpdateLink();

    const StationClock& clock_;
    const double staleSeconds_;
    bool linkReported_ = false;  // the station's own view of the link
    std::optional<UtcMilliseconds> newestReport_;
    bool linkOk_ = false;
    std::optional<bool> mqttConnected_;
};

}  // namespace noxa
