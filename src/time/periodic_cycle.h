#pragma once

namespace noxa {

struct LiveReadings;

// The once-a-second heartbeat of the station.
class PeriodicCycle {
public:
    static constexpr int kSaveTicksLimit = 3600;

    explicit PeriodicCycle(LiveReadings& readings);

    void Timer2Timer();

private:
    LiveReadings& readings_;
};

}  // namespace noxa
