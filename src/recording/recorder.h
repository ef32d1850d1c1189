#pragma once

#include "core/observation.h"

#include <QObject>

#include <cstdint>
#include <optional>

namespace noxa {

class ObservationFeed;
class StationClock;
struct DayTables;
class LiveSums;
struct RecordSums;

// What the user chose for the data file: the seconds between records and whether records are
// kept. The settings page edits push into it.
struct RecordingSettings {
    std::int64_t seconds = 60;
    bool enabled = true;
};

// The one place that decides when a record is due and what it holds. It counts the seconds of
// the record interval; every report (a decoded one, or a text on socket 1) asks it. Once the
// interval has passed, the count starts again and, with recording enabled, the interval's
// means are taken from the record sums, which start again, and the record goes out on the
// feed, where the data file and the night files write it. The record's temperatures are the
// newest chart point's, known only once a chart point of this run measured them.
class Recorder {
public:
    // The count of seconds never shows more than this: it starts again after an hour.
    static constexpr std::int32_t kMaxCountedSeconds = 3600;

    Recorder(LiveSums& sums, const DayTables& days, const StationClock& clock,
             ObservationFeed& feed);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    const RecordingSettings& Settings() const { return settings_; }
    void SetIntervalSeconds(std::int64_t seconds) { settings_.seconds = seconds; }
    void SetEnabled(bool enabled) { settings_.enabled = enabled; }

    // Once a second, from the station's heartbeat.
    void CountSecond();
    std::int32_t SecondsCounted() const { return seconds_; }

    // Returns true when a record fell due, whether or not it was kept. With recording
    // disabled the sums keep growing, so the next record kept averages every report since the
    // last one.
    bool RecordIfDue();

private:
    IntervalRecord MeansOfInterval(const RecordSums& sums) const;
    // Keeps the temperature means of the newest chart point, as the feed tells them.
    void ChartPointAdded(const ChartPoint& point);

    LiveSums& sums_;
    const DayTables& days_;
    const StationClock& clock_;
    ObservationFeed& feed_;
    RecordingSettings settings_;
    std::int32_t seconds_ = 0;
    UtcMilliseconds intervalStart_ = 0;
    // The newest chart point's temperature means; unknown until a chart point measured them.
    std::optional<float> sensorTemperature_, skyTemperature_;
    QMetaObject::Connection chartPoints_;
};

}  // namespace noxa
