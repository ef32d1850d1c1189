#pragma once

#include "night/hourglass_grid.h"

#include <QImage>
#include <QString>

#include <string>

namespace noxa {

// The year at a glance: a column per night, the night's local time from the evening (top) to
// the morning (bottom), each cell coloured by the sky's brightness on a labelled scale; cells
// in twilight are grey, cells with the Moon up hatched, so that the site's own light stands
// apart from moonlight.
QImage DrawHourglassChart(const HourglassGrid& grid, const std::string& instrument,
                          const HourglassLayout& layout = {});

// <folder>/hourglass-<instrument>-<year>.png (hourglass-<year>.png for the station's own).
QString HourglassChartPath(const QString& folder, const std::string& instrument, int year);

// Draws the grid and writes it as a PNG file at `path`, whole or not at all. On failure
// returns false with the reason in `error`.
bool SaveHourglassChart(const HourglassGrid& grid, const std::string& instrument,
                        const QString& path, QString& error, const HourglassLayout& layout = {});

}  // namespace noxa
