#include "night/chart_labels.h"

#include <QPainter>
#include <QTransform>

#include <cmath>

namespace noxa {
namespace {

// Texts kept at most; more are drawn afresh once the kept ones are dropped. Charts have a few
// hundred different labels: the bound matters only to a text that changes every time.
constexpr qsizetype kKept = 4096;

// Pixels of room around a text's glyphs, for those that reach beyond its advance.
constexpr int kPad = 3;

template <typename Value>
void MakeRoom(QHash<QString, Value>& kept) {
    if (kept.size() >= kKept) kept.clear();
}

// Lays the mask into the pixels in the colour, its top left pixel at `at`.
void LayMask(RgbRows& pixels, const QImage& mask, QPoint at, const QColor& colour) {
    const QRect area = QRect(at, mask.size()) & pixels.Rect();
    const QRgb rgb = colour.rgb();
    const auto alpha = static_cast<std::uint32_t>(colour.alpha());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uchar* cover = mask.constScanLine(y - at.y()) + (area.left() - at.x());
        for (int x = area.left(); x <= area.right(); ++x, ++cover) {
            if (*cover != 0) pixels.Lay(pixels.Offset(x, y), rgb, (*cover * alpha + 127) / 255);
        }
    }
}

}  // namespace

ChartLabels::ChartLabels(const QFont& font, bool keep)
    : font_(font),
      metrics_(font),
      ascent_(static_cast<int>(std::lround(metrics_.ascent()))),
      keep_(keep) {}

double ChartLabels::Width(const QString& text) {
    if (const auto found = widths_.constFind(text); found != widths_.cend()) return *found;
    if (!keep_) return metrics_.horizontalAdvance(text);
    MakeRoom(widths_);
    return *widths_.insert(text, metrics_.horizontalAdvance(text));
}

const QImage& ChartLabels::Mask(const QString& text) {
    if (const auto found = masks_.constFind(text); found != masks_.cend()) return *found;
    const QSize size(static_cast<int>(std::ceil(Width(text))) + 2 * kPad,
                     static_cast<int>(std::ceil(LineHeight())) + 2 * kPad);
    QImage glyphs(size, QImage::Format_ARGB32_Premultiplied);
    glyphs.fill(Qt::transparent);
    {
        QPainter p(&glyphs);
        p.setFont(font_);
        p.setPen(Qt::black);
        p.drawText(QPointF(kPad, kPad + ascent_), text);
    }
    if (!keep_) return lastMask_ = glyphs.convertToFormat(QImage::Format_Alpha8);
    MakeRoom(masks_);
    return *masks_.insert(text, glyphs.convertToFormat(QImage::Format_Alpha8));
}

QPointF ChartLabels::BaselineStart(const QRectF& rect, Qt::Alignment alignment,
                                   const QString& text) {
    const double width = Width(text), height = LineHeight();
    const double x = alignment & Qt::AlignRight     ? rect.right() - width
                     : alignment & Qt::AlignHCenter ? rect.center().x() - width / 2
                                                    : rect.left();
    const double y = alignment & Qt::AlignBottom    ? rect.bottom() - height
                     : alignment & Qt::AlignVCenter ? rect.center().y() - height / 2
                                                    : rect.top();
    return {x, y + metrics_.ascent()};
}

void ChartLabels::Draw(RgbRows& pixels, const QRectF& rect, Qt::Alignment alignment,
                       const QString& text, const QColor& colour) {
    if (text.isEmpty()) return;
    const QPoint baseline = BaselineStart(rect, alignment, text).toPoint();
    LayMask(pixels, Mask(text), baseline - QPoint(kPad, kPad + ascent_), colour);
}

void ChartLabels::DrawTurned(RgbRows& pixels, QPointF origin, double angle, const QRectF& rect,
                             const QString& text, const QColor& colour) {
    if (text.isEmpty()) return;
    const QTransform turn = QTransform().rotate(angle);
    const QImage& mask = Mask(text);
    // The mask's corner in the chart, then the turned mask's top left corner from it: the
    // corner the turn brings furthest up and left.
    const QPointF start = BaselineStart(rect, Qt::AlignCenter, text);
    const QPoint corner =
        (origin + turn.map(start)).toPoint() + turn.map(QPoint(-kPad, -kPad - ascent_));
    const QPointF turned = turn.mapRect(QRectF(QPointF(0, 0), QSizeF(mask.size()))).topLeft();
    LayMask(pixels, mask.transformed(turn), corner + turned.toPoint(), colour);
}

}  // namespace noxa
