#include "app/window/chart_view.h"

#include <QChart>
#include <QResizeEvent>

namespace noxa::window {

ChartView::ChartView(QGraphicsScene* scene, QChart* chart, QWidget* parent)
    : QGraphicsView(scene, parent), chart_(chart) {
    setObjectName(chart->objectName());
    setRenderHint(QPainter::Antialiasing);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setMinimumSize(400, 240);
}

void ChartView::resizeEvent(QResizeEvent* event) {
    QGraphicsView::resizeEvent(event);
    const QRectF area(QPointF(0, 0), viewport()->size());
    chart_->setGeometry(area);
    scene()->setSceneRect(area);
}

}  // namespace noxa::window
