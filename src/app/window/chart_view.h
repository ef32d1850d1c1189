#pragma once

#include <QGraphicsView>

class QChart;

namespace noxa::window {

// Shows one of the station's charts in the scene the station keeps it in. The chart stays in
// that scene (the station also draws it offscreen into images), and follows the size of the
// view so that it always fills it. Named after its chart ("Chart1").
class ChartView : public QGraphicsView {
    Q_OBJECT

public:
    ChartView(QGraphicsScene* scene, QChart* chart, QWidget* parent = nullptr);

    // A modest size: the page grows the view, and the chart with it.
    QSize sizeHint() const override { return {640, 360}; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QChart* chart_;
};

}  // namespace noxa::window
