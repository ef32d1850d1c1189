#include "charts/chart_drawing.h"

#include "charts/station_charts.h"
#include "core/day_tables.h"
#include "core/station_locale.h"
#include "time/date_time.h"

#include <QChart>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QList>
#include <QPointF>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace noxa {
namespace {

struct SeriesField {
    ChartSeries series;
    float DaySlot::*field;
};

const SeriesField kFields[] = {
    {ChartSeries::Magnitude740, &DaySlot::meanMv740},
    {ChartSeries::MagnitudeRed, &DaySlot::meanMvR},
    {ChartSeries::MagnitudeGreen, &DaySlot::meanMvG},
    {ChartSeries::MagnitudeBlue, &DaySlot::meanMvB},
    {ChartSeries::Nelm, &DaySlot::nelm},
    {ChartSeries::SensorTemperature, &DaySlot::meanTSens},
    {ChartSeries::SkyTemperature, &DaySlot::meanTIR},
    {ChartSeries::Clouds, &DaySlot::cloudIndex},
    {ChartSeries::Magnitude640, &DaySlot::meanMv640},
};

// Beyond this a value is no temperature, and the axis does not stretch for it.
constexpr float kMaxTemperature = 1000;

const DaySlot& SlotOfPoint(const DayTables& days, std::size_t k) {
    return days.slot[kDaySlots - 1 - k];
}

// The temperature axis follows the temperatures shown, with a degree to spare.
void FitTemperatureAxis(StationCharts& charts, const DayTables& days) {
    float low = std::numeric_limits<float>::infinity();
    float high = -low;
    for (const DaySlot& s : days.slot) {
        for (float t : {s.meanTSens, s.meanTIR}) {
            if (!std::isfinite(t) || std::fabs(t) > kMaxTemperature) continue;
            low = std::min(low, t);
            high = std::max(high, t);
        }
    }
    if (low > high) return;
    QValueAxis* axis = charts.TemperatureAxis();
    axis->setRange(std::floor(low) - 1, std::ceil(high) + 1);
    axis->applyNiceNumbers();
}

void LabelTimes(TimeAxisLabels* labels, const DayTables& days, const StationLocale& locale) {
    std::vector<QString> texts;
    for (std::size_t k = 0; k < kDaySlots; k += static_cast<std::size_t>(labels->Step())) {
        const QTime time = FromDayNumber(SlotOfPoint(days, k).time).time();
        texts.push_back(QString::fromLocal8Bit(locale.LongTime(time)));
    }
    labels->SetTexts(texts);
}

}  // namespace

void RedrawCharts(StationCharts& charts, const DayTables& days, const StationLocale& locale) {
    QList<QPointF> points(static_cast<qsizetype>(kDaySlots));
    for (const SeriesField& f : kFields) {
        for (std::size_t k = 0; k < kDaySlots; ++k) {
            const float y = SlotOfPoint(days, k).*f.field;
            // A damaged history can hold values that are no numbers: they are drawn as 0, like
            // a cleared slot.
            points[static_cast<qsizetype>(k)] =
                QPointF(static_cast<qreal>(k), std::isfinite(y) ? y : 0.0);
        }
        charts.Series(f.series)->replace(points);
    }
    FitTemperatureAxis(charts, days);
    LabelTimes(charts.TimeLabels1(), days, locale);
    LabelTimes(charts.TimeLabels2(), days, locale);
    // Lay the charts out now, so that an image taken right after shows the new state.
    charts.Chart1()->layout()->activate();
    charts.Chart2()->layout()->activate();
}

}  // namespace noxa
