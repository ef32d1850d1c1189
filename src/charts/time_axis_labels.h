#pragma once

#include <QObject>
#include <QString>

#include <vector>

class QAbstractSeries;
class QChart;
class QGraphicsSimpleTextItem;

namespace noxa {

// Time texts under the bottom axis of a chart whose x values count chart points. The points
// are not evenly spaced in time (the station may have been off), so the axis shows the times
// of the points at its grid lines rather than numbers.
class TimeAxisLabels : public QObject {
    Q_OBJECT

public:
    // A grid line and a time every `step` points, from the newest point on.
    TimeAxisLabels(QChart* chart, QAbstractSeries* anchor, int step);

    // texts[i] is the time of point i × step.
    void SetTexts(const std::vector<QString>& texts);
    int Step() const { return step_; }

private:
    void Reposition();

    QChart* chart_;
    QAbstractSeries* anchor_;
    int step_;
    std::vector<QGraphicsSimpleTextItem*> items_;
};

}  // namespace noxa
