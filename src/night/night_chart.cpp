#include "night/night_chart.h"

#include "night/line_painter.h"
#include "night/night_chart_layout.h"
#include "night/night_chart_style.h"
#include "night/png_encoding.h"
#include "recording/atomic_file.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace noxa {
namespace {

const QColor kGrid(0, 0, 0, 28);
const QColor kAxis(70, 70, 70);

// A pen for the style; Qt counts dashes in widths of the pen.
QPen PenOf(const LineStyle& style) {
    QPen pen(style.colour, style.width, Qt::SolidLine, style.cap, Qt::BevelJoin);
    if (style.dashes.isEmpty()) return pen;
    QList<qreal> pattern;
    for (qreal length : style.dashes) pattern.append(length / style.width);
    pen.setDashPattern(pattern);
    return pen;
}

// Writes straight into the image's pixels, for the large flat areas: the raster engine hands
// big fills to a thread pool, whose hand-offs cost more than these fills themselves.
class Pixels {
public:
    explicit Pixels(QImage& image)
        : bits_(image.bits()), stride_(image.bytesPerLine()), size_(image.size()) {}

    // Columns [x0, x1) of rows [y0, y1), clipped to the image; `alpha` blends over what is there.
    void Fill(int x0, int x1, int y0, int y1, QRgb colour, int alpha = 255) {
        x0 = std::max(x0, 0);
        y0 = std::max(y0, 0);
        x1 = std::min(x1, size_.width());
        y1 = std::min(y1, size_.height());
        if (x0 >= x1 || y0 >= y1) return;
        if (alpha >= 255) {
            for (int y = y0; y < y1; ++y) std::fill(Row(y) + x0, Row(y) + x1, colour | 0xff000000u);
            return;
        }
        // The areas blended over are flat: a pixel like the one before takes its blend again.
        QRgb under = Row(y0)[x0], over = Blend(under, colour, alpha);
        for (int y = y0; y < y1; ++y) {
            QRgb* row = Row(y);
            for (int x = x0; x < x1; ++x) {
                if (row[x] != under) {
                    under = row[x];
                    over = Blend(under, colour, alpha);
                }
                row[x] = over;
            }
        }
    }

    // Rows [y0 + 1, y1) made copies of row y0, within the image.
    void CopyRowDown(int y0, int y1) {
        y1 = std::min(y1, size_.height());
        if (y0 < 0 || y0 >= y1) return;
        const std::size_t bytes = static_cast<std::size_t>(size_.width()) * sizeof(QRgb);
        for (int y = y0 + 1; y < y1; ++y) std::memcpy(Row(y), Row(y0), bytes);
    }

private:
    QRgb* Row(int y) {
        return reinterpret_cast<QRgb*>(bits_ + static_cast<qsizetype>(y) * stride_);
    }

    static QRgb Blend(QRgb under, QRgb over, int alpha) {
        auto mix = [&](int a, int b) { return (b * alpha + a * (255 - alpha) + 127) / 255; };
        return qRgb(mix(qRed(under), qRed(over)), mix(qGreen(under), qGreen(over)),
                    mix(qBlue(under), qBlue(over)));
    }

    uchar* bits_;
    qsizetype stride_;
    QSize size_;
};

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

void PaintRowLines(Pixels& pixels, const QRectF& panel, const Axis& axis) {
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
void PaintGround(Pixels& pixels, const std::vector<std::pair<int, int>>& panels, QSize size) {
    int from = 0;
    for (const auto& [top, bottom] : panels) {
        pixels.Fill(0, size.width(), from, top + 1, 0xffffffffu);
        from = bottom;
    }
    pixels.Fill(0, size.width(), from, size.height(), 0xffffffffu);
}

// The background bands and the grid lines of the plot and of the cloud strip. The bands and the
// time's lines run the panels' whole height over the white ground: one row is painted and
// copied down.
void PaintBackground(Pixels& pixels, const NightChartLayout& layout,
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

// The cloud cover as areas up from the cloud strip's bottom.
void PaintCloud(Pixels& pixels, const NightChartLayout& layout) {
    const QRectF strip = layout.frame.cloudStrip;
    const QColor colour = AreaColourOf(ChartMark::Cloud);
    const int base = static_cast<int>(strip.bottom());
    const int left = static_cast<int>(strip.left()), right = static_cast<int>(strip.right());
    for (const QPolygonF& area : layout.cloud.runs) {
        for (qsizetype i = 1; i < area.size(); ++i) {
            const QPointF a = area[i - 1], b = area[i];
            const int x0 = std::max(left, static_cast<int>(std::ceil(a.x())));
            const int x1 = std::min(right, static_cast<int>(std::ceil(b.x())));
            for (int x = x0; x < x1; ++x) {
                const double y = a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x());
                pixels.Fill(x, x + 1, static_cast<int>(std::lround(y)), base, colour.rgb(),
                            colour.alpha());
            }
        }
    }
}

// The series, clipped to the plot; a lone value as a dot.
void PaintLines(QImage& image, const NightChartLayout& layout) {
    LinePainter painter(image, layout.frame.plot.toAlignedRect());
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

void PaintAxis(QPainter& p, const Axis& axis, ChartLabels& labels) {
    for (const AxisTick& tick : axis.ticks) {
        p.drawLine(tick.mark);
        labels.Draw(p, tick.labelRect, axis.labelAlignment, tick.label);
    }
}

void PaintAxisTitle(QPainter& p, const AxisTitle& title) {
    p.save();
    p.translate(title.origin);
    p.rotate(title.angle);
    p.drawText(title.rect, Qt::AlignCenter, title.text);
    p.restore();
}

void PaintFrame(QPainter& p, const NightChartLayout& layout, ChartLabels& labels) {
    p.setPen(QPen(kAxis, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(layout.frame.plot);
    if (!layout.frame.cloudStrip.isEmpty()) p.drawRect(layout.frame.cloudStrip);
    for (const Axis* axis :
         {&layout.magnitudeAxis, &layout.altitudeAxis, &layout.cloudAxis, &layout.timeAxis}) {
        PaintAxis(p, *axis, labels);
    }
    for (const AxisTitle* title : {&layout.leftTitle, &layout.rightTitle, &layout.cloudTitle}) {
        PaintAxisTitle(p, *title);
    }
}

void PaintLegend(QPainter& p, const NightChartLayout& layout, ChartLabels& labels) {
    p.setRenderHint(QPainter::Antialiasing);
    for (const LegendEntry& e : layout.legend) {
        if (e.filled) {
            p.setPen(QPen(QColor(0, 0, 0, 60), 1));
            p.setBrush(QBrush(AreaColourOf(e.mark)));
            p.drawRect(e.box);
        } else {
            p.setPen(PenOf(LineStyleOf(e.mark)));
            p.drawLine(e.line);
        }
        p.setPen(Qt::black);
        labels.Draw(p, e.textRect, Qt::AlignLeft | Qt::AlignVCenter, e.text);
    }
}

}  // namespace

NightChartPainter::NightChartPainter(QSize size)
    : size_(size), titleFont_(TitleFontOf(LabelFontFor(size))), labels_(LabelFontFor(size)) {}

QImage NightChartPainter::Draw(const Night& night) {
    QImage image(size_, QImage::Format_RGB32);
    if (size_.isEmpty()) return image;
    const TextMeasure measure{labels_.LineHeight(), QFontMetricsF(titleFont_).height(),
                              [this](const QString& text) { return labels_.Width(text); }};
    const NightChartLayout layout = LayOutNightChart(night, size_, measure);
    const auto panels =
        layout.hasPlot ? PanelRows(layout, size_.height()) : std::vector<std::pair<int, int>>{};
    Pixels pixels(image);
    PaintGround(pixels, panels, size_);
    QPainter p(&image);

    if (!layout.title.isEmpty()) {
        p.setFont(titleFont_);
        p.setPen(Qt::black);
        p.drawText(layout.titleRect, Qt::AlignCenter, layout.title);
    }
    p.setFont(labels_.Font());
    if (!layout.message.isEmpty()) {
        p.setPen(kAxis);
        p.drawText(layout.messageRect, Qt::AlignCenter, layout.message);
    }
    if (!layout.hasPlot) return image;
    PaintBackground(pixels, layout, panels);
    PaintCloud(pixels, layout);
    PaintLines(image, layout);
    PaintFrame(p, layout, labels_);
    PaintLegend(p, layout, labels_);
    return image;
}

bool NightChartPainter::Save(const Night& night, const QString& path, QString& error) {
    return SaveChartPng(Draw(night), path, error);
}

QImage DrawNightChart(const Night& night, QSize size) {
    return NightChartPainter(size).Draw(night);
}

bool SaveNightChart(const Night& night, const QString& path, QString& error) {
    return NightChartPainter().Save(night, path, error);
}

}  // namespace noxa
