#pragma once

#include "night/night_chart_style.h"

#include <QLineF>
#include <QRectF>
#include <QString>

#include <functional>
#include <vector>

namespace noxa {

// How large text is drawn. The chart's layout is worked out from this alone, so that it needs
// neither a font nor an image.
struct TextMeasure {
    double lineHeight = 0;                        // of the labels
    double titleHeight = 0;                       // of the title
    std::function<double(const QString&)> width;  // of a label
};

// A legend entry: a short line or, for areas, a filled box, then its text.
struct LegendEntry {
    QString text;
    ChartMark mark = ChartMark::Sun;
    bool filled = false;
    QLineF line;  // unless filled
    QRectF box;   // if filled
    QRectF textRect;
};

// An entry for each mark the chart draws, in the marks' order; the Moon's entry reads
// `moonText`.
std::vector<LegendEntry> LegendEntries(std::vector<ChartMark> drawn, const QString& moonText);

// Flows the entries into as many rows as they need from `top`, each row centred in `width`;
// returns the rows' count.
std::size_t PlaceLegend(std::vector<LegendEntry>& legend, double top, double width,
                        const TextMeasure& text);

}  // namespace noxa
