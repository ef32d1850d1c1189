#pragma once

#include "night/rgb_rows.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QRectF>
#include <QString>

namespace noxa {

// The texts of a chart in one font, laid straight into its pixels. Each text is drawn once, on
// its own, into a mask of how much of each pixel its glyphs cover, which is then laid into
// the chart in the text's colour; the masks of the short texts are kept, for the axes' numbers,
// the hours and the legend come again on every night's chart. For one thread.
class ChartLabels {
public:
    // Keeps the texts' masks and widths unless `keep` is false, for texts that change every time.
    explicit ChartLabels(const QFont& font, bool keep = true);

    double LineHeight() const { return metrics_.height(); }
    double Width(const QString& text);

    // `text` in `rect`, placed as `alignment` says.
    void Draw(RgbRows& pixels, const QRectF& rect, Qt::Alignment alignment, const QString& text,
              const QColor& colour);

    // `text` centred in `rect` of a system turned by `angle` degrees (a multiple of 90) about
    // `origin`.
    void DrawTurned(RgbRows& pixels, QPointF origin, double angle, const QRectF& rect,
                    const QString& text, const QColor& colour);

private:
    const QImage& Mask(const QString& text);  // of the glyphs, the baseline kPad + ascent down
    QPointF BaselineStart(const QRectF& rect, Qt::Alignment alignment, const QString& text);

    QFont font_;
    QFontMetricsF metrics_;
    int ascent_;
    bool keep_;
    QHash<QString, QImage> masks_;
    QImage lastMask_;  // when masks are not kept
    QHash<QString, double> widths_;
};

}  // namespace noxa
