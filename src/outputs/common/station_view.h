#pragma once

namespace noxa {

class LatestReadings;
class SafetyRule;
class StationStatus;

// What the outputs show of the station, each part from its one owner: the newest readings, the
// safety rule's verdict and the state of the station's connections.
struct StationView {
    const LatestReadings& readings;
    const SafetyRule& safety;
    const StationStatus& status;
};

}  // namespace noxa
