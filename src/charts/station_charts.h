#pragma once

#include <QColor>
#include <QGraphicsScene>

#include "charts/time_axis_labels.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

class QChart;
class QLineSeries;
class QValueAxis;

namespace noxa {

// The nine series of the two charts. Each keeps the window's component name as its object
// name (SeriesName).
enum class ChartSeries : std::uint8_t {
    Magnitude740,       // Series1, "Mag.V": brightness chart, left axis
    Magnitude640,       // Series8, "Mag.V2"
    MagnitudeRed,       // Series4, "Red"
    MagnitudeGreen,     // Series5, "Green"
    MagnitudeBlue,      // Series6, "Blue"
    Nelm,               // Series3, "NELM": right axis
    SensorTemperature,  // FastLineSeries1, "T. Sensor": temperature chart
    SkyTemperature,     // Series2, "T IR"
    Clouds,             // Series7, "Clouds": right axis
    Count
};
inline constexpr std::size_t kChartSeriesCount = static_cast<std::size_t>(ChartSeries::Count);

// The window's component name of a series ("Series1", …).
std::string_view SeriesName(ChartSeries id);

// The brightness chart (Chart1) and the temperature chart (Chart2), each in a scene of its
// own, so that they can be shown in a window and drawn offscreen into images alike.
// Needs a QApplication (the offscreen platform serves when there is no screen).
class StationCharts {
public:
    // The size the charts have until a window gives them another.
    static constexpr QSize kDefaultSize{900, 480};

    StationCharts();
    ~StationCharts();
    StationCharts(const StationCharts&) = delete;
    StationCharts& operator=(const StationCharts&) = delete;

    QChart* Chart1() const { return chart1_; }
    QChart* Chart2() const { return chart2_; }
    QGraphicsScene* Scene1() { return &scene1_; }
    QGraphicsScene* Scene2() { return &scene2_; }

    QLineSeries* Series(ChartSeries id) const { return series_[static_cast<std::size_t>(id)]; }

    QValueAxis* MagnitudeAxis() const { return magnitudeAxis_; }      // Chart1, left
    QValueAxis* NelmAxis() const { return nelmAxis_; }                // Chart1, right
    QValueAxis* TemperatureAxis() const { return temperatureAxis_; }  // Chart2, left
    QValueAxis* CloudAxis() const { return cloudAxis_; }              // Chart2, right
    TimeAxisLabels* TimeLabels1() const { return timeLabels1_; }
    TimeAxisLabels* TimeLabels2() const { return timeLabels2_; }

    // Points between two time labels of the bottom axes.
    static constexpr int kTimeLabelStep = 180;

private:
    QGraphicsScene scene1_;
    QGraphicsScene scene2_;
    QChart* chart1_;
    QChart* chart2_;
    std::array<QLineSeries*, kChartSeriesCount> series_{};
    QValueAxis* magnitudeAxis_;
    QValueAxis* nelmAxis_;
    QValueAxis* temperatureAxis_;
    QValueAxis* cloudAxis_;
    QValueAxis* timeAxis1_;
    QValueAxis* timeAxis2_;
    TimeAxisLabels* timeLabels1_;
    TimeAxisLabels* timeLabels2_;
};

}  // namespace noxa
