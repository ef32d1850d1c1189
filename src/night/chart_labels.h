#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QRectF>
#include <QStaticText>
#include <QString>

class QPainter;

namespace noxa {

// The short texts of a chart in one font, each laid out once and kept: the axes' numbers, the
// hours and the legend come again on every night's chart, and laying a text out costs more
// than drawing it. For one thread, as the laid-out texts are.
class ChartLabels {
public:
    explicit ChartLabels(const QFont& font);

    const QFont& Font() const { return font_; }
    double LineHeight() const { return metrics_.height(); }
    double Width(const QString& text);

    // Draws `text` in `rect` placed as `alignment` says, in the painter's pen and this font.
    void Draw(QPainter& p, const QRectF& rect, Qt::Alignment alignment, const QString& text);

private:
    const QStaticText& LaidOut(const QString& text);

    QFont font_;
    QFontMetricsF metrics_;
    QHash<QString, QStaticText> laidOut_;
    QHash<QString, double> widths_;
};

}  // namespace noxa
