#pragma once

#include <QString>

class QChart;

namespace noxa {

// Draws a chart at its current size on a white background and saves it as a JPEG image. The
// file is replaced as a whole, so a reader never sees half an image. On failure returns false
// with the reason in `error`.
bool SaveChartImage(QChart* chart, const QString& fileName, QString& error);

}  // namespace noxa
