#pragma once

#include "night/night_chart_scales.h"
#include "night/night_chart_series.h"

#include <QLineF>
#include <QPolygonF>
#include <QRectF>
#include <QSize>
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

// What a line, an area or a legend swatch shows; the painter gives each its colour. The
// channels come first, in the order of the night's arrays.
enum class ChartMark {
    Channel740,
    Channel640,
    Red,
    Green,
    Blue,
    SingleChannel,
    Sun,
    Moon,
    Cloud,
    Night,
    Twilight
};

inline ChartMark ChannelMark(int channel) {
    return static_cast<ChartMark>(channel);
}

// A legend entry: a short line or, for areas, a filled box, then its text.
struct LegendEntry {
    QString text;
    ChartMark mark = ChartMark::Sun;
    bool filled = false;
    QLineF line;  // unless filled
    QRectF box;   // if filled
    QRectF textRect;
};

// A tick on the frame's edge and its label, centred on `at` (a pixel row or column).
struct AxisTick {
    double at = 0;
    QLineF mark;
    QString label;
    QRectF labelRect;
};

struct Axis {
    std::vector<AxisTick> ticks;
    Qt::Alignment labelAlignment;
};

// An axis title written along the frame: `rect` in a system turned by `angle` degrees about
// `origin`.
struct AxisTitle {
    QString text;
    QPointF origin;
    double angle = 0;
    QRectF rect;
};

// A band of background from column `left` up to `right`, the plot's height.
struct ShadeBand {
    int left = 0, right = 0;
    Shade shade = Shade::Day;
};

// One series: lines of at least two points, a lone value as a single point.
struct ChartSeries {
    ChartMark mark = ChartMark::Sun;
    std::vector<QPolygonF> runs;
};

// Everything the chart of a night shows and where, in pixels of an image of the given size.
struct NightChartLayout {
    QString title;  // none when empty
    QRectF titleRect;
    QString message;  // instead of a plot, when there is nothing to plot
    QRectF messageRect;

    bool hasPlot = false;  // the rest is empty without a plot
    ChartFrame frame;
    std::vector<LegendEntry> legend;
    std::vector<ShadeBand> shading;
    Axis magnitudeAxis, altitudeAxis, timeAxis;
    AxisTitle leftTitle, rightTitle;
    ChartSeries cloud;               // areas up from the horizon
    std::vector<ChartSeries> lines;  // in drawing order, the channels last
};

NightChartLayout LayOutNightChart(const Night& night, QSize size, const TextMeasure& text);

// "Night of 2024-03-10 to 11 (Europe/Berlin time)", then ", <instrument>" for another than the
// station's own; empty without a date or samples.
QString NightChartTitle(const Night& night);

}  // namespace noxa
