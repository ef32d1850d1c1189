#include "recording/recorder.h"

#include "core/day_tables.h"
#include "core/live_sums.h"
#include "core/observation_feed.h"
#include "time/station_clock.h"

#include <cmath>

namespace noxa {
namespace {

// The mean of a sum of single-precision values, in double precision; 0 without reports.
double Mean(float sum, float count) {
    return count > 0 ? static_cast<double>(sum) / count : 0.0;
}

}  // namespace

Recorder::Recorder(LiveSums& sums, const DayTables& days, const StationClock& clock,
                   ObservationFeed& feed)
    : sums_(sums), days_(days), clock_(clock), feed_(feed) {
    chartPoints_ = QObject::connect(&feed, &ObservationFeed::chartPointAdded,
                                    [this](const ChartPoint& point) { ChartPointAdded(point); });
}

Recorder::~Recorder() {
    QObject::disconnect(chartPoints_);
}

void Recorder::ChartPointAdded(const ChartPoint& point) {
    const auto measured = [](float mean) {
        return std::isfinite(mean) ? std::optional<float>(mean) : std::nullopt;
    };
    sensorTemperature_ = measured(point.sensorTemperature);
    skyTemperature_ = measured(point.skyTemperature);
}

void Recorder::CountSecond() {
    if (++seconds_ > kMaxCountedSeconds) seconds_ = 0;
}

bool Recorder::RecordIfDue() {
    if (seconds_ < settings_.seconds) {
        if (intervalStart_ == 0) intervalStart_ = clock_.NowUtc();
        return false;
    }
    seconds_ = 0;
    if (settings_.enabled) {
        // Taken whether or not the record reaches a file.
        const IntervalRecord record = MeansOfInterval(sums_.TakeRecordSums());
        intervalStart_ = record.end;
        emit feed_.recorded(record);
    }
    return true;
}

IntervalRecord Recorder::MeansOfInterval(const RecordSums& s) const {
    IntervalRecord record;
    record.end = clock_.NowUtc();
    record.localEnd = clock_.Now();
    record.start = intervalStart_ != 0 ? intervalStart_ : record.end;
    const auto reports = static_cast<std::int32_t>(s.count);
    for (std::size_t i = 0; i < kChannelCount; ++i)
        record.channels[i] = {Mean(s.mag[i], s.count), Mean(s.freq[i], s.count), reports};
    record.unread = s.unread;
    record.sensorTemperature = sensorTemperature_;
    record.skyTemperature = skyTemperature_;
    record.dayTableSensorTemperature = days_.Newest().meanTSens;
    record.dayTableSkyTemperature = days_.Newest().meanTIR;
    return record;
}

}  // namespace noxa
