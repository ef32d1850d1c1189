#pragma once

#include "night/night_sample.h"
#include "night/night_summary.h"

#include <QString>

#include <string>
#include <vector>

namespace noxa {

// Where a night's chart and the summary lie in a folder of nights ("night/" of the station's
// working folder): <folder>/<yyyy-MM-dd>.png for the station's own instrument,
// <folder>/<yyyy-MM-dd>_<instrument>.png for another, and <folder>/summary.csv.
QString NightChartPath(const QString& folder, QDate night, const std::string& instrument = {});
QString NightSummaryPath(const QString& folder);

// Adds summary lines to the folder's summary file, replacing the lines of the same nights; the
// file is replaced whole. On failure returns false with the reason in `error`.
bool AddToNightSummary(const QString& folder, const std::vector<std::string>& lines,
                       QString& error);

// Writes the night's chart and its summary line (the watcher's nights: the station's own). On
// failure returns false with the reason.
bool WriteNightReport(const Night& night, const QString& folder, float cloudyAbovePercent,
                      QString& error);

}  // namespace noxa
