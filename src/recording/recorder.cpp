#include "recording/recorder.h"

#include "core/c_numbers.h"
#include "core/day_tables.h"
#include "core/form_model.h"
#include "core/live_readings.h"
#include "core/observation_feed.h"
#include "recording/data_file.h"
#include "time/station_clock.h"

namespace noxa {
namespace {

float Mean(float sum, float count) {
    return count > 0 ? static_cast<float>(static_cast<double>(sum) / count) : 0.0f;
}

}  // namespace

Recorder::Recorder(LiveReadings& readings, const FormModel& form, const DayTables& days,
                   DataFileWriter& dataFile, const StationClock& clock, ObservationFeed& feed)
    : readings_(readings),
      form_(form),
      days_(days),
      dataFile_(dataFile),
      clock_(clock),
      feed_(feed) {}

bool Recorder::RecordIfDue() {
    if (readings_.saveTicks < CAtol(form_.Text(FormText::Esalto))) {
        if (intervalStart_ == 0) intervalStart_ = clock_.NowUtc();
        return false;
    }
    readings_.saveTicks = 0;
    if (form_.Checked(FormCheck::CBGuardar)) {
        const IntervalRecord record = MeansOfInterval();
        dataFile_.WriteDataLine();
        intervalStart_ = record.end;
        emit feed_.recorded(record);
    }
    return true;
}

IntervalRecord Recorder::MeansOfInterval() const {
    const RecordSums& s = readings_.record;
    IntervalRecord record;
    record.end = clock_.NowUtc();
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
    record.sensorTemperature = days_.Newest().meanTSens;
    record.skyTemperature = days_.Newest().meanTIR;
    record.reports = static_cast<std::int32_t>(s.count740);
    return record;
}

}  // namespace noxa
