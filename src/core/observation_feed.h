#pragma once

#include "core/observation.h"

#include <QObject>

namespace noxa {

// Where the station publishes what it measures, as numbers. The window's files and every
// output subscribe here; none of them reads another's texts.
class ObservationFeed : public QObject {
    Q_OBJECT

signals:
    // A report was decoded.
    void observed(const noxa::Observation& observation);
    // A record fell due with recording enabled: the data file and the night files write it.
    void recorded(const noxa::IntervalRecord& record);
    // A chart point was made.
    void chartPointAdded(const noxa::ChartPoint& point);
    // Once a second, after the tick.
    void linkStatus(const noxa::LinkStatus& status);
};

}  // namespace noxa
