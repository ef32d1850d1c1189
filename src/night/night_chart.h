#pragma once

#include "night/chart_labels.h"
#include "night/night_sample.h"
#include "night/png_encoding.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <vector>

namespace noxa {

inline constexpr QSize kNightChartSize(1200, 640);

// Draws the charts of nights, one size for all, keeping what one chart can pass to the next:
// the fonts, the labels' masks, the line painter's working space and the rows the chart is
// drawn into. For one thread; each drawing thread has a painter.
class NightChartPainter {
public:
    explicit NightChartPainter(QSize size = kNightChartSize);

    // The chart of one night: the sky brightnesses against local time with the Sun's and the
    // Moon's altitudes on a second axis, the cloud cover in a strip of its own underneath,
    // astronomical night shaded.
    QImage Draw(const Night& night);

    // Draws the night and writes it as a PNG file at `path`, whole or not at all. On failure
    // returns false with the reason in `error`.
    bool Save(const Night& night, const QString& path, QString& error);

private:
    // The night drawn into rows_, seen through the image it returns.
    QImage DrawInPlace(const Night& night);

    QSize size_;
    ChartLabels titles_, labels_;
    std::vector<std::uint8_t> lineCoverage_;  // the line painter's, all zero between lines
    PngRows rows_;
};

// One chart drawn or saved by a painter of its own.
QImage DrawNightChart(const Night& night, QSize size = kNightChartSize);
bool SaveNightChart(const Night& night, const QString& path, QString& error);

}  // namespace noxa
