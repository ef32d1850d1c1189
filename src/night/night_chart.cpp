#include "night/night_chart.h"

#include "night/line_painter.h"
#include "night/night_chart_layout.h"
#include "night/night_chart_style.h"
#include "night/rgb_rows.h"

#include <QGuiApplication>

#include <algorithm>
#include <cmath>

namespace noxa {
namespace {

const QColor kGrid(0, 0, 0, 28);
const QColor kAxis(70, 70, 70);

// The labels' size for the chart's: the title's is a quarter larger, and bold.
QFont LabelFontFor(QSize size) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(std::max(10, std::min(size.height() / 46, size.width() / 85)));
    return font;
}

QFont TitleFontOf(const QFont& labelFont) {
    QFont titleFont = labelFont;
    titleFont.setBold(true);
    titleFont.setPixelSize(labelFont.pixelSize() * 5 / 4);
    return titleFont;
}

// Rows [top, bottom) of a panel's rectangle.
std::pair<int, int> RowsOf(const QRectF& panel) {
    return {static_cast<int>(panel.top()), static_cast<int>(panel.bottom())};
}

void PaintRowLines(RgbRows& pixels, const QRectF& panel, const Axis& axis) {
    for (const AxisTick& tick : axis.ticks) {
        const int row = static_cast<int>(std::lround(tick.at));
        pixels.Fill(static_cast<int>(panel.left()), static_cast<int>(panel.right()), row, row + 1,
                    kGrid.rgb(), kGrid.alpha());
    }
}

// The rows [top, bottom) of the plot and of the cloud strip, within the image and in order.
std::vector<std::pair<int, int>> PanelRows(const NightChartLayout& layout, int height) {
    const ChartFrame& f = layout.frame;
    std::vector<std::pair<int, int>> panels;
    for (const QRectF* panel : {&f.plot, &f.cloudStrip}) {
        if (panel->isEmpty()) continue;
        auto [top, bottom] = RowsOf(*panel);
        top = std::max(top, panels.empty() ? 0 : panels.back().second);
        bottom = std::min(bottom, height);
        if (top < bottom) panels.emplace_back(top, bottom);
    }
    return panels;
}

// The white ground: the whole image but the panels' rows below their first, which
// PaintBackground fills with copies of that row.
void PaintGround(RgbRows& pixels, const std::vector<std::pair<int, int>>& panels, QSize size) {
    int from = 0;
    for (const auto& [top, bottom] : panels) {
        pixels.Fill(0, size.width(), from, top + 1, qRgb(255, 255, 255));
        from = bottom;
    }
    pixels.Fill(0, size.width(), from, size.height(), qRgb(255, 255, 255));
}

// The background bands and the grid lines of the plot and of the cloud strip. The bands and the
// time's lines run the panels' whole height over the white ground: one row is painted and
// copied down.
void PaintBackground(RgbRows& pixels, const NightChartLayout& layout,
                     const std::vector<std::pair<int, int>>& panels) {
    const ChartFrame& f = layout.frame;
    for (const auto& [top, bottom] : panels) {
        for (const ShadeBand& band : layout.shading) {
            const ChartMark mark =
                band.shade == Shade::AstronomicalNight ? ChartMark::Night : ChartMark::Twilight;
            pixels.Fill(band.left, band.right, top, top + 1, AreaColourOf(mark).rgb());
        }
        for (const AxisTick& tick : layout.timeAxis.ticks) {
            const int column = static_cast<int>(std::lround(tick.at));
            pixels.Fill(column, column + 1, top, top + 1, kGrid.rgb(), kGrid.alpha());
        }
        pixels.CopyRowDown(top, bottom);
    }
    PaintRowLines(pixels, f.plot, layout.magnitudeAxis);
    PaintRowLines(pixels, f.cloudStrip, layout.cloudAxis);
}

// The cloud cover as areas up from the cloud strip's bottom: the top of the cloud in each of the
// strip's columns, then the pixels below it filled a row at a time.
void PaintCloud(RgbRows& pixels, const NightChartLayout& layout) {
    const QRectF strip = layout.frame.cloudStrip;
    const QColor colour = AreaColourOf(ChartMark::Cloud);
    const int base = static_cast<int>(strip.bottom());
    const int left = static_cast<int>(strip.left()), right = static_cast<int>(strip.right());
    std::vector<int> tops(static_cast<std::size_t>(std::max(0, right - left)), base);
    int highest = base;
    for (const QPolygonF& area : layout.cloud.runs) {
        for (qsizetype i = 1; i < area.size(); ++i) {
            const QPointF a = area[i - 1], b = area[i];
            const int x0 = std::max(left, static_cast<int>(std::ceil(a.x())));
            const int x1 = std::min(right, static_cast<int>(std::ceil(b.x())));
            for (int x = x0; x < x1; ++x) {
                const double y = a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x());
                int& top = tops[static_cast<std::size_t>(x - left)];
                top = std::min(top, static_cast<int>(std::lround(y)));
                highest = std::min(highest, top);
            }
        }
    }
    // From the bottom up, so that the long runs of the rows without a grid line come one after
    // another and each takes the blend of the run before.
    const auto width = static_cast<int>(tops.size());
    for (int y = base - 1; y >= std::max(highest, 0); --y) {
        for (int x = 0; x < width;) {
            if (tops[static_cast<std::size_t>(x)] > y) {
                ++x;
                continue;
            }
            int end = x + 1;
            while (end < width && tops[static_cast<std::size_t>(end)] <= y) ++end;
            pixels.Fill(left + x, left + end, y, y + 1, colour.rgb(), colour.alpha());
            x = end;
        }
    }
}

// The series, clipped to the plot; a lone value as a dot.
void PaintLines(RgbRows& pixels, const NightChartLayout& layout,
                std::vector<std::uint8_t>& coverage) {
    LinePainter painter(pixels, layout.frame.plot.toAlignedRect(), coverage);
    for (const ChartSeries& series : layout.lines) {
        const LineStyle style = LineStyleOf(series.mark);
        for (const QPolygonF& run : series.runs) {
            if (run.size() > 1) {
                painter.DrawPolyline(run, style);
            } else {
                painter.DrawDot(run.front(), style.width * 2.5, style.colour);
            }
        }
    }
}

// A line one pixel wide from `a` to `b`, across or down the image, both ends drawn: each point
// in the pixel it falls in, as the raster engine draws lines without antialiasing.
void PaintStraightLine(RgbRows& pixels, QPointF a, QPointF b, const QColor& colour) {
    const int x0 = static_cast<int>(std::floor(std::min(a.x(), b.x())));
    const int x1 = static_cast<int>(std::floor(std::max(a.x(), b.x())));
    const int y0 = static_cast<int>(std::floor(std::min(a.y(), b.y())));
    const int y1 = static_cast<int>(std::floor(std::max(a.y(), b.y())));
    pixels.Fill(x0, x1 + 1, y0, y1 + 1, colour.rgb(), colour.alpha());
}

void PaintOutline(RgbRows& pixels, const QRectF& r, const QColor& colour) {
    PaintStraightLine(pixels, r.topLeft(), r.topRight(), colour);
    PaintStraightLine(pixels, r.bottomLeft(), r.bottomRight(), colour);
    PaintStraightLine(pixels, r.topLeft(), r.bottomLeft(), colour);
    PaintStraightLine(pixels, r.topRight(), r.bottomRight(), colour);
}

void PaintAxis(RgbRows& pixels, const Axis& axis, ChartLabels& labels) {
    for (const AxisTick& tick : axis.ticks) {
        PaintStraightLine(pixels, tick.mark.p1(), tick.mark.p2(), kAxis);
        labels.Draw(pixels, tick.labelRect, axis.labelAlignment, tick.label, kAxis);
    }
}

void PaintFrame(RgbRows& pixels, const NightChartLayout& layout, ChartLabels& labels) {
    PaintOutline(pixels, layout.frame.plot, kAxis);
    if (!layout.frame.cloudStrip.isEmpty()) PaintOutline(pixels, layout.frame.cloudStrip, kAxis);
    for (const Axis* axis :
         {&layout.magnitudeAxis, &layout.altitudeAxis, &layout.cloudAxis, &layout.timeAxis}) {
        PaintAxis(pixels, *axis, labels);
    }
    for (const AxisTitle* title : {&layout.leftTitle, &layout.rightTitle, &layout.cloudTitle}) {
        labels.DrawTurned(pixels, title->origin, title->angle, title->rect, title->text, kAxis);
    }
}

// Each entry's sample: a box filled and outlined, or a short stretch of its line as the chart
// draws it; then its text.
void PaintLegend(RgbRows& pixels, const NightChartLayout& layout, ChartLabels& labels,
                 std::vector<std::uint8_t>& coverage) {
    LinePainter samples(pixels, pixels.Rect(), coverage);
    for (const LegendEntry& e : layout.legend) {
        if (e.filled) {
            const QColor fill = AreaColourOf(e.mark);
            const QRect box = e.box.toRect();
            pixels.Fill(box.left(), box.right() + 1, box.top(), box.bottom() + 1, fill.rgb(),
                        fill.alpha());
            PaintOutline(pixels, e.box, QColor(0, 0, 0, 60));
        } else {
            samples.DrawPolyline(QPolygonF({e.line.p1(), e.line.p2()}), LineStyleOf(e.mark));
        }
        labels.Draw(pixels, e.textRect, Qt::AlignLeft | Qt::AlignVCenter, e.text, Qt::black);
    }
}

}  // namespace

NightChartPainter::NightChartPainter(QSize size)
    : size_(size), titles_(TitleFontOf(LabelFontFor(size)), false), labels_(LabelFontFor(size)) {}

QImage NightChartPainter::Draw(const Night& night) {
    return DrawInPlace(night).copy();
}

QImage NightChartPainter::DrawInPlace(const Night& night) {
    // Every pixel is painted below: the ground, the panels' copied rows and what lies on them.
    QImage image = rows_.Image(size_);
    if (image.isNull()) return image;
    const TextMeasure measure{labels_.LineHeight(), titles_.LineHeight(),
                              [this](const QString& text) { return labels_.Width(text); }};
    const NightChartLayout layout = LayOutNightChart(night, size_, measure);
    const auto panels =
        layout.hasPlot ? PanelRows(layout, size_.height()) : std::vector<std::pair<int, int>>{};
    RgbRows pixels(image);
    PaintGround(pixels, panels, size_);
    titles_.Draw(pixels, layout.titleRect, Qt::AlignCenter, layout.title, Qt::black);
    labels_.Draw(pixels, layout.messageRect, Qt::AlignCenter, layout.message, kAxis);
    if (!layout.hasPlot) return image;
    PaintBackground(pixels, layout, panels);
    PaintCloud(pixels, layout);
    PaintLines(pixels, layout, lineCoverage_);
    PaintFrame(pixels, layout, labels_);
    PaintLegend(pixels, layout, labels_, lineCoverage_);
    return image;
}

bool NightChartPainter::Save(const Night& night, const QString& path, QString& error) {
    DrawInPlace(night);
    return SavePngRows(rows_, path, error);
}

QImage DrawNightChart(const Night& night, QSize size) {
    return NightChartPainter(size).Draw(night);
}

bool SaveNightChart(const Night& night, const QString& path, QString& error) {
    return NightChartPainter().Save(night, path, error);
}

}  // namespace noxa
