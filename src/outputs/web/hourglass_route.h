#pragma once

#include <QString>

#include <string>

namespace noxa {

// Every path under it is taken, but only "/hourglass/yyyy.png" is ever answered.
inline constexpr char kHourglassCharts[] = "/hourglass/";

// "night/hourglass-yyyy.png", the station's chart of a year, for the path "/hourglass/yyyy.png"
// of a year 0001 to 9999; empty for any other path, so that nothing else can be named.
std::string HourglassChartFile(const QString& path);

}  // namespace noxa
