#pragma once

#include <QColor>
#include <QList>

namespace noxa {

// What a line, an area or a legend swatch shows. The channels come first, in the order of the
// night's arrays; the whole order is the legend's.
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

inline bool IsArea(ChartMark mark) {
    return mark >= ChartMark::Cloud;
}

// How a line is drawn. Its colour tells it from the others at a glance; its width and dashes
// tell it apart where colour is lost: in the dashboard's red night mode, on a grey print, to a
// colour-blind eye.
struct LineStyle {
    QColor colour;
    double width = 1;                   // pixels
    QList<qreal> dashes;                // pixels, on and off in turn; solid when empty
    Qt::PenCapStyle cap = Qt::FlatCap;  // round turns the shortest dashes into dots
};

// The style of a line: the channels, the Sun and the Moon. The single channel of a logger
// never shares a chart with the station's five and may look like one of them.
LineStyle LineStyleOf(ChartMark mark);

// The colour of an area: the cloud cover and the shading of night and twilight.
QColor AreaColourOf(ChartMark mark);

}  // namespace noxa
