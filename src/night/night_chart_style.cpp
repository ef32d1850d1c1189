#include "night/night_chart_style.h"

namespace noxa {

// Hues far apart also for the common kinds of colour blindness, each dark enough to stand out
// on the night's shading. Where hue is lost the channels, often drawn close together, differ in
// dashes and width: thick solid, long dashes, dash-dot, thin short dashes, round dots. The Sun
// and the Moon, on their own axis, are thin and dashed longer than any channel.
LineStyle LineStyleOf(ChartMark mark) {
    switch (mark) {
        case ChartMark::Channel740:
            return {QColor(30, 30, 30), 2.6, {}};
        case ChartMark::Channel640:
            return {QColor(220, 100, 0), 2.2, {12, 4}};
        case ChartMark::Red:
            return {QColor(200, 40, 140), 1.8, {9, 3, 2, 3}};
        case ChartMark::Green:
            return {QColor(0, 150, 100), 1.3, {5, 3}};
        case ChartMark::Blue:
            return {QColor(30, 60, 190), 3, {0.01, 5}, Qt::RoundCap};
        case ChartMark::SingleChannel:
            return {QColor(110, 60, 180), 2.6, {}};
        case ChartMark::Sun:
            return {QColor(230, 170, 0), 1.6, {16, 6}};
        case ChartMark::Moon:
            return {QColor(90, 160, 220), 1.6, {10, 3, 2, 3, 2, 3}};
        default:
            return {AreaColourOf(mark), 1, {}};
    }
}

QColor AreaColourOf(ChartMark mark) {
    switch (mark) {
        case ChartMark::Cloud:
            return QColor(70, 85, 110, 150);
        case ChartMark::Night:
            return QColor(210, 218, 232);
        case ChartMark::Twilight:
            return QColor(229, 234, 243);
        default:
            return LineStyleOf(mark).colour;
    }
}

}  // namespace noxa
