#pragma once

#include "core/observation.h"

namespace noxa {

class DataFileWriter;
class FormModel;
class ObservationFeed;
class StationClock;
struct DayTables;
struct LiveReadings;

// The one place that decides when a data-file record is due: every report (a decoded one, or
// a text on socket 1) asks it. Once the record interval in Esalto has passed by saveTicks, the
// count starts again and, with saving switched on (CBGuardar), the interval's means go to the
// data file and out on the feed.
class Recorder {
public:
    Recorder(LiveReadings& readings, const FormModel& form, const DayTables& days,
             DataFileWriter& dataFile, const StationClock& clock, ObservationFeed& feed);

    // Returns true when a record fell due, whether or not it was written.
    bool RecordIfDue();

private:
    IntervalRecord MeansOfInterval() const;

    LiveReadings& readings_;
    const FormModel& form_;
    const DayTables& days_;
    DataFileWriter& dataFile_;
    const StationClock& clock_;
    ObservationFeed& feed_;
    UtcMilliseconds intervalStart_ = 0;
};

}  // namespace noxa
