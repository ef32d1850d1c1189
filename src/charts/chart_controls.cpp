#include "charts/chart_controls.h"

#include "core/day_tables.h"

#include <QLineSeries>
#include <QList>
#include <QValueAxis>

namespace noxa {
namespace {

struct ZoomScale {
    double magnitudeMin, magnitudeMax, nelmMin, nelmMax;
};

}  // namespace

void StepZoom(StationCharts& charts, std::int32_t& zoomStep) {
    ++zoomStep;
    ZoomScale scale;
    switch (zoomStep) {
        case 1:
            scale = {10, 22, 1, 7};
            break;
        case 2:
            scale = {15, 18, 1, 4};
            break;
        case 3:
            scale = {17, 20, 3, 6};
            break;
        default:
            scale = {19, 22, 4, 7};
            zoomStep = 0;
            break;
    }
    charts.MagnitudeAxis()->setRange(scale.magnitudeMin, scale.magnitudeMax);
    charts.NelmAxis()->setRange(scale.nelmMin, scale.nelmMax);
}

void ToggleSeries(StationCharts& charts, ChartSeries series) {
    QLineSeries* s = charts.Series(series);
    s->setVisible(!s->isVisible());
}

void CleanCharts(StationCharts& charts, DayTables& days) {
    days.ClearValues();
    QList<QPointF> zeros(static_cast<qsizetype>(kDaySlots));
    for (qsizetype k = 0; k < zeros.size(); ++k) zeros[k] = QPointF(static_cast<qreal>(k), 0);
    for (std::size_t i = 0; i < kChartSeriesCount; ++i) {
        const auto id = static_cast<ChartSeries>(i);
        if (id == ChartSeries::Clouds) {
            charts.Series(id)->clear();
        } else {
            charts.Series(id)->replace(zeros);
        }
    }
}

}  // namespace noxa
