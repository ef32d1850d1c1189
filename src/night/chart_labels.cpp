#include "night/chart_labels.h"

#include <QPainter>

namespace noxa {
namespace {

// Texts kept at most; more are laid out afresh once the kept ones are dropped. Charts have a
// few hundred different labels: the bound matters only to a text that changes every time.
constexpr qsizetype kKept = 4096;

template <typename Value>
void MakeRoom(QHash<QString, Value>& kept) {
    if (kept.size() >= kKept) kept.clear();
}

}  // namespace

ChartLabels::ChartLabels(const QFont& font) : font_(font), metrics_(font) {}

double ChartLabels::Width(const QString& text) {
    if (const auto found = widths_.constFind(text); found != widths_.cend()) return *found;
    MakeRoom(widths_);
    return *widths_.insert(text, metrics_.horizontalAdvance(text));
}

const QStaticText& ChartLabels::LaidOut(const QString& text) {
    if (const auto found = laidOut_.constFind(text); found != laidOut_.cend()) return *found;
    MakeRoom(laidOut_);
    QStaticText laid(text);
    laid.setTextFormat(Qt::PlainText);
    laid.prepare(QTransform(), font_);
    return *laidOut_.insert(text, laid);
}

void ChartLabels::Draw(QPainter& p, const QRectF& rect, Qt::Alignment alignment,
                       const QString& text) {
    const QStaticText& laid = LaidOut(text);
    const QSizeF size(Width(text), LineHeight());
    const double x = alignment & Qt::AlignRight     ? rect.right() - size.width()
                     : alignment & Qt::AlignHCenter ? rect.center().x() - size.width() / 2
                                                    : rect.left();
    const double y = alignment & Qt::AlignBottom    ? rect.bottom() - size.height()
                     : alignment & Qt::AlignVCenter ? rect.center().y() - size.height() / 2
                                                    : rect.top();
    p.setFont(font_);
    p.drawStaticText(QPointF(x, y), laid);
}

}  // namespace noxa
