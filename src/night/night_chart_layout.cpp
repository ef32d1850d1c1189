#include "night/night_chart_layout.h"

#include <QDateTime>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <utility>

namespace noxa {
namespace {

// The spacings of the chart, all from the height of a line of labels.
struct Spacing {
    explicit Spacing(const TextMeasure& text)
        : line(text.lineHeight), pad(line * 0.6), tick(pad / 2) {}

    double line, pad, tick;
};

QString MoonLegendText(const std::vector<NightSample>& samples, ChartSpan span) {
    const std::optional<float> lit = MoonLitAt(samples, span.from + (span.to - span.from) / 2);
    if (!lit) return QStringLiteral("Moon");
    return QStringLiteral("Moon (%1 % lit)").arg(qRound(std::clamp(*lit, 0.0f, 1.0f) * 100));
}

// The series worked out in a unit square, before the legend's height, and so the plot's, is
// known: which of them hold a value decides what the legend names.
struct SeriesSet {
    ChartSeries cloud;
    std::vector<ChartSeries> lines;  // only those with a value
};

SeriesSet SeriesInUnitSquare(ChartFrame f, const std::vector<NightSample>& samples,
                             UtcMilliseconds gap) {
    f.plot = f.cloudStrip = QRectF(0, 0, 1, 1);
    const std::vector<std::size_t> runEnds = RunEnds(samples, gap);
    auto runs = [&](const SeriesValue& value) { return SeriesRuns(f, samples, runEnds, value); };
    SeriesSet set;
    set.cloud = {ChartMark::Cloud, runs([&](const NightSample& s) -> std::optional<double> {
                     if (!std::isfinite(s.cloudCover)) return std::nullopt;
                     return f.YCloud(std::clamp<double>(s.cloudCover, 0, 100));
                 })};
    auto add = [&](ChartMark mark, const SeriesValue& value) {
        ChartSeries series{mark, runs(value)};
        if (!series.runs.empty()) set.lines.push_back(std::move(series));
    };
    auto altitude = [&](float degrees) -> std::optional<double> {
        if (!std::isfinite(degrees)) return std::nullopt;
        return f.YAlt(degrees);
    };
    add(ChartMark::Moon, [&](const NightSample& s) { return altitude(s.moonAltitude); });
    add(ChartMark::Sun, [&](const NightSample& s) { return altitude(s.sunAltitude); });
    for (int c = 0; c < kNightChannels; ++c) {
        const auto k = static_cast<std::size_t>(c);
        add(ChannelMark(c), [&](const NightSample& s) -> std::optional<double> {
            if (!HasReading(s.mag[k])) return std::nullopt;
            return f.YMag(s.mag[k]);
        });
    }
    return set;
}

void MapInto(ChartSeries& series, const QRectF& rect) {
    const QTransform toRect(rect.width(), 0, 0, rect.height(), rect.left(), rect.top());
    for (QPolygonF& run : series.runs) run = toRect.map(run);
}

std::vector<ChartMark> DrawnMarks(const SeriesSet& series, const std::vector<ShadeSpan>& shades,
                                  ChartSpan span) {
    std::vector<ChartMark> marks;
    for (const ChartSeries& line : series.lines) marks.push_back(line.mark);
    if (!series.cloud.runs.empty()) marks.push_back(ChartMark::Cloud);
    for (const ShadeSpan& shade : shades) {
        if (shade.to <= span.from || shade.from >= span.to) continue;
        marks.push_back(shade.shade == Shade::AstronomicalNight ? ChartMark::Night
                                                                : ChartMark::Twilight);
    }
    return marks;
}

bool Draws(const NightChartLayout& layout, ChartMark mark) {
    return std::any_of(layout.lines.begin(), layout.lines.end(),
                       [mark](const ChartSeries& s) { return s.mark == mark; });
}

// The plot below `top` and, with cloud cover, the cloud strip under it, with room for the tick
// labels and the axis titles; in whole pixels, so that the areas filled directly meet the lines
// drawn.
void PlacePanels(ChartFrame& f, QSize size, double top, bool withCloud, const TextMeasure& text,
                 const Spacing& space) {
    const double h = space.line, pad = space.pad;
    const double leftRoom = pad + h + pad / 2 + text.width(QStringLiteral("00.0")) + pad / 2;
    const double rightLabel =
        std::max(text.width(QStringLiteral("-90")), text.width(QStringLiteral("100")));
    const double rightRoom = pad / 2 + rightLabel + pad / 2 + h + pad;
    const double bottomRoom = pad / 2 + h + pad;
    const int left = static_cast<int>(leftRoom), plotTop = static_cast<int>(top);
    const int width = size.width() - left - static_cast<int>(rightRoom);
    int bottom = size.height() - static_cast<int>(bottomRoom);
    if (withCloud) {
        const int strip = static_cast<int>(std::max(3 * h, (bottom - plotTop) * 0.16));
        f.cloudStrip = QRectF(left, bottom - strip, width, strip);
        // Apart by a line, so that the labels of the two axes at the gap keep apart.
        bottom -= strip + static_cast<int>(h * 1.2);
    }
    f.plot = QRectF(left, plotTop, width, bottom - plotTop);
}

AxisTick RightTick(double right, double y, double value, const TextMeasure& text,
                   const Spacing& space) {
    const double labelWidth = text.width(QStringLiteral("-90")) + space.pad, h = space.line;
    return {y, QLineF(QPointF(right, y), QPointF(right + space.tick, y)),
            QString::number(value, 'f', 0),
            QRectF(right + space.tick + 2, y - h / 2, labelWidth, h)};
}

Axis MagnitudeAxis(const ChartFrame& f, const Spacing& space) {
    const MagnitudeRange range = f.magnitudes;
    const double step =
        NiceStep(range.top - range.bottom, f.plot.height(), space.line * 1.8, {0.5, 1, 2, 5, 10});
    Axis axis{{}, Qt::AlignRight | Qt::AlignVCenter};
    const double h = space.line, left = f.plot.left();
    for (double m : MagnitudeTicks(range, step)) {
        const double y = f.YMag(m);
        axis.ticks.push_back({y, QLineF(QPointF(left - space.tick, y), QPointF(left, y)),
                              QString::number(m, 'f', step < 1 ? 1 : 0),
                              QRectF(0, y - h / 2, left - space.tick - 2, h)});
    }
    return axis;
}

Axis AltitudeAxis(const ChartFrame& f, const TextMeasure& text, const Spacing& space) {
    const double step = NiceStep(180, f.plot.height(), space.line * 1.8, {30, 45, 90});
    Axis axis{{}, Qt::AlignLeft | Qt::AlignVCenter};
    for (double a : AltitudeTicks(step)) {
        axis.ticks.push_back(RightTick(f.plot.right(), f.YAlt(a), a, text, space));
    }
    return axis;
}

Axis CloudAxis(const ChartFrame& f, const TextMeasure& text, const Spacing& space) {
    const double step = NiceStep(100, f.cloudStrip.height(), space.line * 1.8, {25, 50, 100});
    Axis axis{{}, Qt::AlignLeft | Qt::AlignVCenter};
    for (double c = 0; c <= 100; c += step) {
        axis.ticks.push_back(RightTick(f.cloudStrip.right(), f.YCloud(c), c, text, space));
    }
    return axis;
}

// Hour ticks in local time under `bottom`, spaced so that their labels keep apart.
Axis TimeAxis(const ChartFrame& f, double bottom, const QTimeZone& zone, const TextMeasure& text,
              const Spacing& space) {
    const double hours = static_cast<double>(f.span.to - f.span.from) / kChartHourMs;
    const int hourStep = static_cast<int>(NiceStep(
        hours, f.plot.width(), text.width(QStringLiteral("00")) * 2.5, {1, 2, 3, 4, 6, 12}));
    Axis axis{{}, Qt::AlignHCenter | Qt::AlignTop};
    const double h = space.line;
    for (const HourTick& tick : HourTicks(f.span, zone, hourStep)) {
        const double x = f.X(tick.time);
        axis.ticks.push_back({x, QLineF(QPointF(x, bottom), QPointF(x, bottom + space.tick)),
                              QStringLiteral("%1").arg(tick.hour, 2, 10, QChar('0')),
                              QRectF(x - h * 2, bottom + space.tick, h * 4, h)});
    }
    return axis;
}

// A title along the panel `along`, at `x`, read upwards on the left and downwards on the right.
AxisTitle TitleAlong(QString text, const QRectF& along, double x, bool left, double line) {
    return {std::move(text), QPointF(x, along.center().y()), left ? -90.0 : 90.0,
            QRectF(-along.height() / 2, 0, along.height(), line)};
}

void PlaceAxes(NightChartLayout& layout, QSize size, const QTimeZone& zone, const TextMeasure& text,
               const Spacing& space) {
    const ChartFrame& f = layout.frame;
    const double rightEdge = size.width() - space.pad;
    layout.magnitudeAxis = MagnitudeAxis(f, space);
    layout.leftTitle = TitleAlong(QStringLiteral("sky brightness mag/arcsec²"), f.plot, space.pad,
                                  true, space.line);
    if (Draws(layout, ChartMark::Sun) || Draws(layout, ChartMark::Moon)) {
        layout.altitudeAxis = AltitudeAxis(f, text, space);
        layout.rightTitle =
            TitleAlong(QStringLiteral("altitude °"), f.plot, rightEdge, false, space.line);
    }
    const bool withCloud = !f.cloudStrip.isEmpty();
    if (withCloud) {
        layout.cloudAxis = CloudAxis(f, text, space);
        layout.cloudTitle =
            TitleAlong(QStringLiteral("cloud %"), f.cloudStrip, rightEdge, false, space.line);
    }
    const double bottom = withCloud ? f.cloudStrip.bottom() : f.plot.bottom();
    layout.timeAxis = TimeAxis(f, bottom, zone, text, space);
}

std::vector<ShadeBand> ShadeBands(const ChartFrame& f, const std::vector<ShadeSpan>& shades) {
    std::vector<ShadeBand> bands;
    for (const ShadeSpan& span : shades) {
        bands.push_back({static_cast<int>(std::lround(std::max(f.X(span.from), f.plot.left()))),
                         static_cast<int>(std::lround(std::min(f.X(span.to), f.plot.right()))),
                         span.shade});
    }
    return bands;
}

}  // namespace

QString NightChartTitle(const Night& night) {
    QDate date = night.date;
    if (!date.isValid() && !night.samples.empty()) {
        const QDateTime first =
            QDateTime::fromMSecsSinceEpoch(night.samples.front().time, night.zone);
        date = first.date().addDays(first.time().hour() < 12 ? -1 : 0);
    }
    if (!date.isValid()) return {};
    const QDate next = date.addDays(1);
    const QString to = next.year() != date.year()     ? next.toString(Qt::ISODate)
                       : next.month() != date.month() ? next.toString(QStringLiteral("MM-dd"))
                                                      : next.toString(QStringLiteral("dd"));
    const QString zone = night.zone.isValid() ? QString::fromUtf8(night.zone.id()) : "UTC";
    const QString title =
        QStringLiteral("Night of %1 to %2 (%3 time)").arg(date.toString(Qt::ISODate), to, zone);
    if (night.instrument.empty()) return title;
    return title + QStringLiteral(", ") + QString::fromStdString(night.instrument);
}

NightChartLayout LayOutNightChart(const Night& night, QSize size, const TextMeasure& text) {
    NightChartLayout layout;
    if (size.isEmpty()) return layout;
    const Spacing space(text);
    double top = space.pad;
    layout.title = NightChartTitle(night);
    if (!layout.title.isEmpty()) {
        layout.titleRect = QRectF(space.pad, top, size.width() - 2 * space.pad, text.titleHeight);
        top += text.titleHeight + space.pad / 2;
    }
    const std::vector<NightSample>& samples = night.samples;
    if (samples.empty()) {
        layout.message = QStringLiteral("No records");
        layout.messageRect = QRectF(0, top, size.width(), size.height() - top);
        return layout;
    }

    ChartFrame& f = layout.frame;
    f.span = NightSpan(samples);
    f.magnitudes = FitMagnitudes(samples, f.span);
    const UtcMilliseconds gap = GapLimit(samples);
    SeriesSet series = SeriesInUnitSquare(f, samples, gap);
    const std::vector<ShadeSpan> shades = ShadeSpans(samples, gap, f.span.to);
    std::vector<LegendEntry> legend =
        LegendEntries(DrawnMarks(series, shades, f.span), MoonLegendText(samples, f.span));
    const std::size_t legendRows = PlaceLegend(legend, top, size.width(), text);
    top += static_cast<double>(legendRows) * space.line + space.pad;
    PlacePanels(f, size, top, !series.cloud.runs.empty(), text, space);
    if (f.plot.width() < 10 || f.plot.height() < 10) return layout;

    layout.hasPlot = true;
    layout.legend = std::move(legend);
    layout.shading = ShadeBands(f, shades);
    MapInto(series.cloud, f.cloudStrip);
    layout.cloud = std::move(series.cloud);
    for (ChartSeries& line : series.lines) MapInto(line, f.plot);
    layout.lines = std::move(series.lines);
    PlaceAxes(layout, size, night.zone.isValid() ? night.zone : QTimeZone::utc(), text, space);
    return layout;
}

}  // namespace noxa
