#include "recording/recorder.h"

#include "core/day_tables.h"
#include "core/live_readings.h"
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

Recorder::Recorder(LiveReadings& readings, const DayTables& days, const StationClock& clock,
                   ObservationFeed& feed)
    : readings_(readings), days_(days), clock_(clock), feed_(feed) {
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
        const IntervalRecord record = MeansOfInterval();
        readings_.record = RecordSums{};  // zeroed whether or not the record reaches a file
        intervalStart_ = record.end;
        emit feed_.recorded(record);
    }
    return true;
}

IntervalRecord Recorder::MeansOfInterval() const {
    const RecordSums& s = readings_.record;
    IntervalRecord record;
    record.end = clock_.NowUtc();
    record.localEnd = clock_.Now();
    record.start = intervalStart_ != 0 ? intervalStart_ : record.end;
    record.magV = Mean(s.sumMv740, s.count740);
    record.magV2 = Mean(s.sumMv640, s.count740);
    record.magR = Mean(s.sumMvR, s.countR);
    record.magG = Mean(s.sumMvG, s.countG);
    record.magB = Mean(s.sumMvB, s.countB);
    record.freq1 = Mean(s.sumFrec740, s.count740);
    record.freq2 = Mean(s.sumFrec640, s.count740);
    record.freqR = Mean(s.sumFrecR, s.countR);
    record.freqG = Mean(s.sumFrecG, s.countG);
    record.freqB = Mean(s.sumFrecB, s.countB);
    record.sensorTemperature = sensorTemperature_;
    record.skyTemperature = skyTemperature_;
    record.dayTableSensorTemperature = days_.Newest().meanTSens;
    record.dayTableSkyTemperature = days_.Newest().meanTIR;
    record.reports = static_cast<std::int32_t>(s.count740);
    record.reportsR = static_cast<std::int32_t>(s.countR);
    record.reportsG = static_cast<std::int32_t>(s.countG);
    record.reportsB = static_cast<std::int32_t>(s.countB);
    return record;
}

}  // namespace noxa
