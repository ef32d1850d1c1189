#pragma once

#include "core/observation.h"

namespace noxa {

class StationClock;
struct ChartSums;
struct DaySlot;
struct DayTables;

// Makes one chart point: slides the table and fills the newest slot with the clock's date and
// time and the means of the interval's sums (or the previous point's values when the interval
// had none), with the limiting magnitude and the cloud index.
void AddChartPoint(DayTables& days, const ChartSums& sums, const StationClock& clock);

// The chart point as the feed tells it: the newest slot's means, unknown where the interval
// had no report or a report in it held no number for what the mean rests on.
ChartPoint FedChartPoint(const DaySlot& newest, const ChartSums& sums, UtcMilliseconds time);

}  // namespace noxa
