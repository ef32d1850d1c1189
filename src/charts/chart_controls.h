#pragma once

#include "charts/station_charts.h"

#include <cstdint>

namespace noxa {

class StationLocale;
struct DayTables;

// The zoom button: steps the brightness chart through its four scales (magnitudes 10–22,
// 15–18, 17–20, 19–22 with the limiting magnitude 1–7, 1–4, 3–6, 4–7) and back.
void StepZoom(StationCharts& charts, std::int32_t& zoomStep);

// Shows a hidden series, hides a shown one; its points stay.
void ToggleSeries(StationCharts& charts, ChartSeries series);

// "Clean Graphics": zeroes the history but the newest point and draws flat zero lines; the
// cloud series stays empty until the next chart point.
void CleanCharts(StationCharts& charts, DayTables& days);

}  // namespace noxa
