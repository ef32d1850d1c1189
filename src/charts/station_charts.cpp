#include "charts/station_charts.h"

#include <QChart>
#include <QLineSeries>
#include <QPen>
#include <QValueAxis>

namespace noxa {
namespace {

struct SeriesLayout {
    std::string_view name;
    const char* title;
    QColor colour;
};

// In the order of ChartSeries.
const SeriesLayout kSeries[] = {
    {"Series1", "Mag.V", QColor(0, 0, 0)},
    {"Series8", "Mag.V2", QColor(128, 128, 255)},
    {"Series4", "Red", QColor(255, 0, 0)},
    {"Series5", "Green", QColor(0, 255, 64)},
    {"Series6", "Blue", QColor(0, 0, 255)},
    // Yellow, darkened to goldenrod so the line reads on the white background.
    {"Series3", "NELM", QColor(204, 160, 0)},
    {"FastLineSeries1", "T. Sensor", QColor(255, 0, 0)},
    {"Series2", "T IR", QColor(0, 128, 0)},
    {"Series7", "Clouds", QColor(128, 128, 128)},
};
static_assert(std::size(kSeries) == kChartSeriesCount);

constexpr int kLastPoint = 1439;

QValueAxis* AddAxis(QChart* chart, Qt::Alignment alignment, double min, double max,
                    const char* title = nullptr, const char* labelFormat = "%.1f",
                    int tickCount = 5) {
    auto* axis = new QValueAxis;
    axis->setRange(min, max);
    axis->setLabelFormat(labelFormat);
    axis->setTickCount(tickCount);
    if (title) axis->setTitleText(title);
    chart->addAxis(axis, alignment);
    return axis;
}

// The bottom axis counts chart points back from the newest, which stands at the right edge.
// Its grid lines fall on the points that carry time labels; the numbers are not shown.
QValueAxis* AddTimeAxis(QChart* chart) {
    QValueAxis* axis = AddAxis(chart, Qt::AlignBottom, 0, kLastPoint);
    axis->setReverse(true);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    axis->setTickInterval(StationCharts::kTimeLabelStep);
    axis->setLabelsVisible(false);
    return axis;
}

QChart* MakeChart(const char* objectName) {
    auto* chart = new QChart;
    chart->setObjectName(objectName);
    chart->resize(StationCharts::kDefaultSize);
    chart->setBackgroundRoundness(0);
    chart->legend()->setAlignment(Qt::AlignTop);
    // Room under the plot for the time labels.
    chart->setMargins(QMargins(8, 4, 8, 22));
    return chart;
}

}  // namespace

std::string_view SeriesName(ChartSeries id) {
    return kSeries[static_cast<std::size_t>(id)].name;
}

StationCharts::StationCharts() : chart1_(MakeChart("Chart1")), chart2_(MakeChart("Chart2")) {
    scene1_.addItem(chart1_);
    scene2_.addItem(chart2_);

    timeAxis1_ = AddTimeAxis(chart1_);
    magnitudeAxis_ = AddAxis(chart1_, Qt::AlignLeft, 8, 22, "mag/arcsec²", "%.1f", 7);
    nelmAxis_ = AddAxis(chart1_, Qt::AlignRight, 1, 7, "NELM", "%.1f", 7);
    timeAxis2_ = AddTimeAxis(chart2_);
    temperatureAxis_ = AddAxis(chart2_, Qt::AlignLeft, -30, 30, "°C", "%.0f", 7);
    cloudAxis_ = AddAxis(chart2_, Qt::AlignRight, 0, 100, "Cloud index", "%.0f", 5);
    // The right-hand scales share the left-hand grid, which alone is drawn.
    nelmAxis_->setGridLineVisible(false);
    cloudAxis_->setGridLineVisible(false);

    for (std::size_t i = 0; i < kChartSeriesCount; ++i) {
        const auto id = static_cast<ChartSeries>(i);
        auto* series = new QLineSeries;
        series->setObjectName(QString::fromLatin1(kSeries[i].name.data(), kSeries[i].name.size()));
        series->setName(kSeries[i].title);
        series->setPen(QPen(kSeries[i].colour, 2));
        const bool brightness = id <= ChartSeries::Nelm;
        QChart* chart = brightness ? chart1_ : chart2_;
        chart->addSeries(series);
        series->attachAxis(brightness ? timeAxis1_ : timeAxis2_);
        if (id == ChartSeries::Nelm) {
            series->attachAxis(nelmAxis_);
        } else if (id == ChartSeries::Clouds) {
            series->attachAxis(cloudAxis_);
        } else {
            series->attachAxis(brightness ? magnitudeAxis_ : temperatureAxis_);
        }
        series_[i] = series;
    }
    timeLabels1_ = new TimeAxisLabels(chart1_, Series(ChartSeries::Magnitude740), kTimeLabelStep);
    timeLabels2_ =
        new TimeAxisLabels(chart2_, Series(ChartSeries::SensorTemperature), kTimeLabelStep);
}

StationCharts::~StationCharts() = default;

}  // namespace noxa
