#include "charts/time_axis_labels.h"

#include <QChart>
#include <QGraphicsSimpleTextItem>

namespace noxa {

TimeAxisLabels::TimeAxisLabels(QChart* chart, QAbstractSeries* anchor, int step)
    : QObject(chart), chart_(chart), anchor_(anchor), step_(step) {
    connect(chart_, &QChart::plotAreaChanged, this, &TimeAxisLabels::Reposition);
}

void TimeAxisLabels::SetTexts(const std::vector<QString>& texts) {
    while (items_.size() < texts.size()) {
        auto* item = new QGraphicsSimpleTextItem(chart_);
        item->setZValue(10);
        items_.push_back(item);
    }
    for (std::size_t i = 0; i < items_.size(); ++i) {
        items_[i]->setVisible(i < texts.size());
        if (i < texts.size()) items_[i]->setText(texts[i]);
    }
    Reposition();
}

void TimeAxisLabels::Reposition() {
    const QRectF plot = chart_->plotArea();
    for (std::size_t i = 0; i < items_.size(); ++i) {
        QGraphicsSimpleTextItem* item = items_[i];
        const qreal x =
            chart_->mapToPosition(QPointF(static_cast<qreal>(i) * step_, 0), anchor_).x();
        item->setPos(x - item->boundingRect().width() / 2, plot.bottom() + 4);
    }
}

}  // namespace noxa
