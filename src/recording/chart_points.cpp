#include "recording/chart_points.h"

#include "core/day_tables.h"
#include "core/live_readings.h"
#include "core/sky_quality.h"
#include "time/date_time.h"
#include "time/station_clock.h"

#include <cmath>

namespace noxa {

void AddChartPoint(DayTables& days, ChartSums& sums, const StationClock& clock) {
    days.Slide();
    DaySlot& point = days.Newest();
    const DaySlot& previous = days.Previous();
    point.date = std::trunc(ToDayNumber(clock.Now()));
    const double now = ToDayNumber(clock.Now());
    point.time = now - std::trunc(now);

    if (sums.count > 0) {
        point.meanMv740 = sums.sumMv740 / sums.count;
        point.meanMv640 = sums.sumMv640 / sums.count;
        point.nelm = NelmFromMag(point.meanMv740);
        point.meanMvR = sums.sumMvR / sums.count;
        point.meanMvG = sums.sumMvG / sums.count;
        point.meanMvB = sums.sumMvB / sums.count;
    } else {
        // No report in the interval: the point repeats the previous one; the newest slot
        // still holds the previous limiting magnitude.
        point.meanMv740 = previous.meanMv740;
        point.meanMv640 = previous.meanMv640;
        point.meanMvR = previous.meanMvR;
        point.meanMvG = previous.meanMvG;
        point.meanMvB = previous.meanMvB;
    }

    if (sums.countTSens > 0) {
        point.meanTSens = sums.sumTSens / sums.countTSens;
        point.meanTIR = sums.sumTIR / sums.countTIR;
        point.cloudIndex = CloudIndex(point.meanTSens, point.meanTIR);
    } else {
        point.meanTSens = previous.meanTSens;
        point.meanTIR = previous.meanTIR;
        point.cloudIndex = previous.cloudIndex;
    }
    // The chart shows a sky warmer than the sensor as 99, not above 100.
    if (point.cloudIndex > 100) point.cloudIndex = 99;

    sums = ChartSums{};
}

}  // namespace noxa
