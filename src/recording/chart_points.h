#pragma once

namespace noxa {

class StationClock;
struct ChartSums;
struct DayTables;

// Makes one chart point: slides the table and fills the newest slot with the clock's date and
// time and the means of the interval's sums (or the previous point's values when the interval
// had none), with the limiting magnitude and the cloud index; then zeroes the sums.
void AddChartPoint(DayTables& days, ChartSums& sums, const StationClock& clock);

}  // namespace noxa
