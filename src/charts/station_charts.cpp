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
    {"Series3", "NELM", QColor(255, 255, 0)},
    {"FastLineSeries1", "T. Sensor", QColor(255, 0, 0)},
    {"Series2", "T IR", QColor(0, 128, 0)},
    {"Series7", "Clouds", QColor(128, 128, 128)},
};
static_assert(std::size(kSeries) == kChartSeriesCount);

constexpr int kLastPoint = 1439;

QValueAxis* AddAxis(QChart* chart, Qt::Alignment alignment, double min, double max) {
    auto* axis = new QValueAxis;
    axis->setRange(min, max);
    chart->addAxis(axis, alignment);
    return axis;
}

// The bottom axis counts chart points back from the newest, which stands at the right edge.
QValueAxis* AddTimeAxis(QChart* chart) {
    QValueAxis* axis = AddAxis(chart, Qt::AlignBottom, 0, kLastPoint);
    axis->setReverse(true);
    return axis;
}

QChart* MakeChart(const char* objectName) {
    auto* chart = new QChart;
    chart->setObjectName(objectName);
    chart->resize(StationCharts::kDefaultSize);
    chart->setBackgroundRoundness(0);
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
    magnitudeAxis_ = AddAxis(chart1_, Qt::AlignLeft, 8, 22);
    nelmAxis_ = AddAxis(chart1_, Qt::AlignRight, 1, 7);
    timeAxis2_ = AddTimeAxis(chart2_);
    temperatureAxis_ = AddAxis(chart2_, Qt::AlignLeft, -30, 30);
    cloudAxis_ = AddAxis(chart2_, Qt::AlignRight, 0, 100);

    for (std::size_t i = 0; i < kChartSeriesCount; ++i) {
        const auto id = static_cast<ChartSeries>(i);
        auto* series = new QLineSeries;
        series->setObjectName(QString::fromLatin1(kSeries[i].name.data(), kSeries[i].name.size()));
        series->setName(kSeries[i].title);
        series->setPen(QPen(kSeries[i].colour, 1.5));
        const bool brightness = id <= ChartSeries::Series3;
        QChart* chart = brightness ? chart1_ : chart2_;
        chart->addSeries(series);
        series->attachAxis(brightness ? timeAxis1_ : timeAxis2_);
        if (id == ChartSeries::Series3) {
            series->attachAxis(nelmAxis_);
        } else if (id == ChartSeries::Series7) {
            series->attachAxis(cloudAxis_);
        } else {
            series->attachAxis(brightness ? magnitudeAxis_ : temperatureAxis_);
        }
        series_[i] = series;
    }
}

StationCharts::~StationCharts() = default;

}  // namespace noxa
