#include "recording/chart_points.h"

#include "core/day_tables.h"
#include "core/live_sums.h"
#include "core/readings.h"
#include "core/sky_quality.h"
#include "time/date_time.h"
#include "time/station_clock.h"

#include <cmath>
#include <limits>

namespace noxa {

void AddChartPoint(DayTables& days, const ChartSums& sums, const StationClock& clock) {
    days.Slide();
    DaySlot& point = days.Newest();
    const DaySlot& previous = days.Previous();
    point.date = std::trunc(ToDayNumber(clock.Now()));
    const double now = ToDayNumber(clock.Now());
    point.time = now - std::trunc(now);

    if (sums.count > 0) {
        for (const ChannelDescription& c : kChannels)
            point.*c.chartMean = sums.mag[static_cast<std::size_t>(c.id)] / sums.count;
        point.nelm = NelmFromMag(point.meanMv740);
        point.meanTSens = sums.sensorTemperature / sums.count;
        point.meanTIR = sums.skyTemperature / sums.count;
        point.cloudIndex = CloudIndex(point.meanTSens, point.meanTIR);
    } else {
        // No report in the interval: the point repeats the previous one; the newest slot
        // still holds the previous limiting magnitude.
        for (const ChannelDescription& c : kChannels) point.*c.chartMean = previous.*c.chartMean;
        point.meanTSens = previous.meanTSens;
        point.meanTIR = previous.meanTIR;
        point.cloudIndex = previous.cloudIndex;
    }
    // The chart shows a sky warmer than the sensor as 99, not above 100.
    if (point.cloudIndex > 100) point.cloudIndex = 99;
}

ChartPoint FedChartPoint(const DaySlot& newest, const ChartSums& sums, UtcMilliseconds time) {
    const auto mean = [&](Reading reading) {
        const ReadingDescription& r = Describe(reading);
        const bool known = sums.count > 0 && !(sums.unread & (Bit(reading) | r.restsOn));
        return known ? newest.*r.chartMean : std::numeric_limits<float>::quiet_NaN();
    };
    ChartPoint point{.time = time};
    for (const ChannelDescription& c : kChannels)
        point.mag[static_cast<std::size_t>(c.id)] = mean(c.mag);
    point.sensorTemperature = mean(Reading::SensorTemperature);
    point.skyTemperature = mean(Reading::SkyTemperature);
    point.nelm = mean(Reading::Nelm);
    point.cloudIndex = mean(Reading::CloudIndex);
    return point;
}

}  // namespace noxa
