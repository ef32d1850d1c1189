#pragma once

#include "night/night_sample.h"

#include <QImage>
#include <QSize>
#include <QString>

namespace noxa {

// The chart of one night: the sky brightnesses against local time with the Sun's and the
// Moon's altitudes on a second axis, the cloud cover in a strip of its own underneath,
// astronomical night shaded.
QImage DrawNightChart(const Night& night, QSize size = QSize(1200, 640));

// Draws the night and writes it as a PNG file at `path`, whole or not at all. On failure
// returns false with the reason in `error`.
bool SaveNightChart(const Night& night, const QString& path, QString& error);

}  // namespace noxa
