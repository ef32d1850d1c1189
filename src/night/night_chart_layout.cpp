#include "night/night_chart_layout.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <utility>

namespace noxa {
namespace {

// The spacings of the chart, all from the height of a line of labels.
struct Spacing {
    explicit Spacing(const TextMeasure& text)
        : line(text.lineHeight),
          pad(line * 0.6),
          tick(pad / 2),
          swatch(line * 1.6),
          swatchToText(line * 0.35),
          betweenEntries(line * 1.2) {}

    double line, pad, tick, swatch, swatchToText, betweenEntries;
};

QString MoonLegendText(const std::vector<NightSample>& samples, ChartSpan span) {
    const std::optional<float> lit = MoonLitAt(samples, span.from + (span.to - span.from) / 2);
    if (!lit) return QStringLiteral("Moon");
    return QStringLiteral("Moon (%1 % lit)").arg(qRound(std::clamp(*lit, 0.0f, 1.0f) * 100));
}

LegendEntry Entry(QString text, ChartMark mark, bool filled = false) {
    LegendEntry entry;
    entry.text = std::move(text);
    entry.mark = mark;
    entry.filled = filled;
    return entry;
}

// The channels that have readings in the night, then the rest of the marks.
std::vector<LegendEntry> LegendEntries(const std::vector<NightSample>& samples,
                                       const QString& moonText) {
    std::vector<LegendEntry> legend;
    for (int c = 0; c < kNightChannels; ++c) {
        const auto k = static_cast<std::size_t>(c);
        if (std::none_of(samples.begin(), samples.end(),
                         [k](const NightSample& s) { return HasReading(s.mag[k]); }))
            continue;
        legend.push_back(Entry(QString::fromLatin1(kNightChannelNames[static_cast<std::size_t>(c)]),
                               ChannelMark(c)));
    }
    legend.push_back(Entry(QStringLiteral("Sun"), ChartMark::Sun));
    legend.push_back(Entry(moonText, ChartMark::Moon));
    legend.push_back(Entry(QStringLiteral("cloud cover"), ChartMark::Cloud, true));
    legend.push_back(Entry(QStringLiteral("astronomical night"), ChartMark::Night, true));
    legend.push_back(Entry(QStringLiteral("twilight"), ChartMark::Twilight, true));
    return legend;
}

// Flows the entries into as many centred rows as they need from `top`; returns the rows' count.
std::size_t PlaceLegend(std::vector<LegendEntry>& legend, double top, double width,
                        const TextMeasure& text, const Spacing& space) {
    std::vector<double> entryWidths;
    std::vector<std::vector<std::size_t>> rows(1);
    std::vector<double> rowWidths(1, 0);
    const double widest = width - 2 * space.pad;
    for (std::size_t i = 0; i < legend.size(); ++i) {
        const double w = space.swatch + space.swatchToText + text.width(legend[i].text);
        entryWidths.push_back(w);
        if (!rows.back().empty() && rowWidths.back() + space.betweenEntries + w > widest) {
            rows.emplace_back();
            rowWidths.push_back(0);
        }
        rowWidths.back() += (rows.back().empty() ? 0 : space.betweenEntries) + w;
        rows.back().push_back(i);
    }
    const double h = space.line;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        double x = (width - rowWidths[r]) / 2;
        const double y = top + static_cast<double>(r) * h;
        const double cy = y + h / 2;
        for (std::size_t i : rows[r]) {
            LegendEntry& e = legend[i];
            e.line = QLineF(QPointF(x, cy), QPointF(x + space.swatch, cy));
            e.box = QRectF(x, cy - h * 0.3, space.swatch, h * 0.6);
            e.textRect = QRectF(x + space.swatch + space.swatchToText, y,
                                entryWidths[i] - space.swatch - space.swatchToText, h);
            x += entryWidths[i] + space.betweenEntries;
        }
    }
    return rows.size();
}

// The plot below `top`, with room for the tick labels and the axis titles; in whole pixels, so
// that the areas filled directly meet the lines drawn.
QRectF PlotRect(QSize size, double top, const TextMeasure& text, const Spacing& space) {
    const double h = space.line, pad = space.pad;
    const double leftRoom = pad + h + pad / 2 + text.width(QStringLiteral("00.0")) + pad / 2;
    const double rightRoom = pad / 2 + text.width(QStringLiteral("-90")) + pad / 2 + h + pad;
    const double bottomRoom = pad / 2 + h + pad;
    const int plotLeft = static_cast<int>(leftRoom), plotTop = static_cast<int>(top);
    return QRectF(plotLeft, plotTop, size.width() - plotLeft - static_cast<int>(rightRoom),
                  size.height() - plotTop - static_cast<int>(bottomRoom));
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
    const double h = space.line, right = f.plot.right();
    const double labelWidth = text.width(QStringLiteral("-90")) + space.pad;
    for (double a : AltitudeTicks(step)) {
        const double y = f.YAlt(a);
        axis.ticks.push_back({y, QLineF(QPointF(right, y), QPointF(right + space.tick, y)),
                              QString::number(a, 'f', 0),
                              QRectF(right + space.tick + 2, y - h / 2, labelWidth, h)});
    }
    return axis;
}

// Hour ticks in local time, spaced so that their labels keep apart.
Axis TimeAxis(const ChartFrame& f, const QTimeZone& zone, const TextMeasure& text,
              const Spacing& space) {
    const double hours = static_cast<double>(f.span.to - f.span.from) / kChartHourMs;
    const int hourStep = static_cast<int>(NiceStep(
        hours, f.plot.width(), text.width(QStringLiteral("00")) * 2.5, {1, 2, 3, 4, 6, 12}));
    Axis axis{{}, Qt::AlignHCenter | Qt::AlignTop};
    const double h = space.line, bottom = f.plot.bottom();
    for (const HourTick& tick : HourTicks(f.span, zone, hourStep)) {
        const double x = f.X(tick.time);
        axis.ticks.push_back({x, QLineF(QPointF(x, bottom), QPointF(x, bottom + space.tick)),
                              QStringLiteral("%1").arg(tick.hour, 2, 10, QChar('0')),
                              QRectF(x - h * 2, bottom + space.tick, h * 4, h)});
    }
    return axis;
}

void PlaceAxisTitles(NightChartLayout& layout, QSize size, const Spacing& space) {
    const QRectF plot = layout.frame.plot;
    const QRectF along(-plot.height() / 2, 0, plot.height(), space.line);
    layout.leftTitle = {QStringLiteral("sky brightness mag/arcsec²"),
                        QPointF(space.pad, plot.center().y()), -90, along};
    layout.rightTitle = {QStringLiteral("altitude ° / cloud %"),
                         QPointF(size.width() - space.pad, plot.center().y()), 90, along};
}

std::vector<ShadeBand> ShadeBands(const ChartFrame& f, const std::vector<NightSample>& samples,
                                  UtcMilliseconds gap) {
    std::vector<ShadeBand> bands;
    for (const ShadeSpan& span : ShadeSpans(samples, gap, f.span.to)) {
        bands.push_back({static_cast<int>(std::lround(std::max(f.X(span.from), f.plot.left()))),
                         static_cast<int>(std::lround(std::min(f.X(span.to), f.plot.right()))),
                         span.shade});
    }
    return bands;
}

void PlaceSeries(NightChartLayout& layout, const std::vector<NightSample>& samples,
                 UtcMilliseconds gap) {
    const ChartFrame& f = layout.frame;
    const std::vector<std::size_t> runEnds = RunEnds(samples, gap);
    auto runs = [&](const SeriesValue& value) { return SeriesRuns(f, samples, runEnds, value); };
    auto altitude = [&](float degrees) -> std::optional<double> {
        if (!std::isfinite(degrees)) return std::nullopt;
        return f.YAlt(degrees);
    };
    // Cloud cover as an altitude: 100 % at +90°.
    layout.cloud = {ChartMark::Cloud, runs([&](const NightSample& s) -> std::optional<double> {
                        if (!std::isfinite(s.cloudCover)) return std::nullopt;
                        return f.YAlt(std::clamp<double>(s.cloudCover, 0, 100) * 0.9);
                    })};
    layout.lines.push_back(
        {ChartMark::Moon, runs([&](const NightSample& s) { return altitude(s.moonAltitude); })});
    layout.lines.push_back(
        {ChartMark::Sun, runs([&](const NightSample& s) { return altitude(s.sunAltitude); })});
    for (int c = 0; c < kNightChannels; ++c) {
        const auto k = static_cast<std::size_t>(c);
        layout.lines.push_back(
            {ChannelMark(c), runs([&](const NightSample& s) -> std::optional<double> {
                 if (!HasReading(s.mag[k])) return std::nullopt;
                 return f.YMag(s.mag[k]);
             })});
    }
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
    std::vector<LegendEntry> legend = LegendEntries(samples, MoonLegendText(samples, f.span));
    const std::size_t legendRows = PlaceLegend(legend, top, size.width(), text, space);
    top += static_cast<double>(legendRows) * space.line + space.pad;
    f.plot = PlotRect(size, top, text, space);
    if (f.plot.width() < 10 || f.plot.height() < 10) return layout;

    layout.hasPlot = true;
    layout.legend = std::move(legend);
    const QTimeZone zone = night.zone.isValid() ? night.zone : QTimeZone::utc();
    const UtcMilliseconds gap = GapLimit(samples);
    layout.shading = ShadeBands(f, samples, gap);
    layout.magnitudeAxis = MagnitudeAxis(f, space);
    layout.altitudeAxis = AltitudeAxis(f, text, space);
    layout.timeAxis = TimeAxis(f, zone, text, space);
    PlaceAxisTitles(layout, size, space);
    PlaceSeries(layout, samples, gap);
    return layout;
}

}  // namespace noxa
