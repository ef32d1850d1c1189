#pragma once

namespace noxa {

class StationCharts;
class StationLocale;
struct DayTables;

// Refills the nine series from the whole table: point k is slot 1439 - k, so the newest point
// stands at the right edge; the bottom axes show the slots' times.
void RedrawCharts(StationCharts& charts, const DayTables& days, const StationLocale& locale);

}  // namespace noxa
