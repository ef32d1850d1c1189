#include "time/periodic_cycle.h"

#include "core/live_readings.h"

namespace noxa {

PeriodicCycle::PeriodicCycle(LiveReadings& readings) : readings_(readings) {}

void PeriodicCycle::Timer2Timer() {
    // saveTicks counts seconds toward the next data-file line and never shows more than 3600.
    if (++readings_.saveTicks > kSaveTicksLimit) readings_.saveTicks = 0;
    ++readings_.rxTicks;
}

}  // namespace noxa
