#pragma once

#include "night/night_chart_legend.h"
#include "night/night_chart_scales.h"
#include "night/night_chart_series.h"

#include <QLineF>
#include <QPolygonF>
#include <QRectF>
#include <QSize>
#include <QString>

#include <vector>

namespace noxa {

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

// A band of background from column `left` up to `right`, the height of the plot and of the
// cloud strip.
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
    std::vector<LegendEntry> legend;  // what is drawn, and nothing else
    std::vector<ShadeBand> shading;   // over the plot and the cloud strip
    // The altitude axis and its title are left out without a Sun or a Moon, the cloud axis and
    // its title without cloud cover; the hours are written under the lower of the two panels.
    Axis magnitudeAxis, altitudeAxis, cloudAxis, timeAxis;
    AxisTitle leftTitle, rightTitle, cloudTitle;
    ChartSeries cloud;               // areas up from the cloud strip's bottom
    std::vector<ChartSeries> lines;  // those with a value, in drawing order, the channels last
};

NightChartLayout LayOutNightChart(const Night& night, QSize size, const TextMeasure& text);

// "Night of 2024-03-10 to 11 (Europe/Berlin time)", then ", <instrument>" for another than the
// station's own; empty without a date or samples.
QString NightChartTitle(const Night& night);

}  // namespace noxa
