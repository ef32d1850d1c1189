#include "recording/recorder.h"

#include "core/day_tables.h"
#include "core/form_model.h"
#include "core/live_readings.h"
#include "core/observation_feed.h"
#include "core/station_locale.h"
#include "recording/data_file.h"
#include "support/temp_dir.h"
#include "time/station_clock.h"

#include <QFile>

#include <gtest/gtest.h>

#include <vector>

namespace noxa {
namespace {

class RecorderTest : public ::testing::Test {
protected:
    RecorderTest() {
        QObject::connect(&feed, &ObservationFeed::recorded,
                         [this](const IntervalRecord& record) { records.push_back(record); });
    }

    test::ScopedWorkDir dir;
    FormModel form;
    LiveReadings readings;
    DayTables days;
    ManualClock clock{QDateTime(QDate(2023, 4, 9), QTime(22, 0, 5))};
    StationLocale locale = StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", ".");
    DataFileWriter writer{form, readings, days, clock, locale, dir.Dir()};
    ObservationFeed feed;
    Recorder recorder{readings, form, days, writer, clock, feed};
    std::vector<IntervalRecord> records;
};

TEST_F(RecorderTest, WritesARecordOnceTheIntervalHasPassed) {
    readings.saveTicks = 59;
    EXPECT_FALSE(recorder.RecordIfDue());
    EXPECT_EQ(readings.saveTicks, 59);
    const UtcMilliseconds start = clock.NowUtc();

    readings.record.count740 = readings.record.countR = 2;
    readings.record.sumMv740 = 42;
    readings.record.sumFrecR = 3;
    days.Newest().meanTIR = -12.5f;
    clock.Advance(61000);
    readings.saveTicks = 61;
    EXPECT_TRUE(recorder.RecordIfDue());
    EXPECT_EQ(readings.saveTicks, 0);
    EXPECT_EQ(readings.record.count740, 0.0f);  // the line took the sums
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].start, start);
    EXPECT_EQ(records[0].end, start + 61000);
    EXPECT_FLOAT_EQ(records[0].magV, 21.0f);
    EXPECT_FLOAT_EQ(records[0].freqR, 1.5f);
    EXPECT_FLOAT_EQ(records[0].magB, 0.0f);  // no reports of its own
    EXPECT_FLOAT_EQ(records[0].skyTemperature, -12.5f);
    EXPECT_EQ(records[0].reports, 2);
    EXPECT_TRUE(QFile::exists(dir.Path() + "/qelvoxxx_04_2023.csv"));
}

TEST_F(RecorderTest, ARecordDueWithSavingOffOnlyRestartsTheCount) {
    form.SetChecked(FormCheck::CBGuardar, false);
    readings.saveTicks = 60;
    readings.record.count740 = 1;
    EXPECT_TRUE(recorder.RecordIfDue());
    EXPECT_EQ(readings.saveTicks, 0);
    EXPECT_EQ(readings.record.count740, 1.0f);  // nothing zeroes the record sums
    EXPECT_TRUE(records.empty());
    EXPECT_FALSE(QFile::exists(dir.Path() + "/qelvoxxx_04_2023.csv"));
}

TEST_F(RecorderTest, AnIntervalThatIsNoNumberMakesEveryReportDue) {
    form.SetText(FormText::Esalto, "abc");
    EXPECT_TRUE(recorder.RecordIfDue());
    EXPECT_TRUE(recorder.RecordIfDue());
    EXPECT_EQ(records.size(), 2u);
}

}  // namespace
}  // namespace noxa
