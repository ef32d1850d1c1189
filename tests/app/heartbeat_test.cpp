#include "app/heartbeat.h"

#include "core/broadcast_decoder.h"
#include "core/chart_settings.h"
#include "core/form_model.h"
#include "core/live_sums.h"
#include "core/station_config.h"
#include "core/station_error.h"
#include "core/station_locale.h"
#include "time/sky_time.h"
#include "time/station_clock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace noxa {
namespace {

using ::testing::ElementsAre;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

// Records what the heartbeat asked for, and what the labels read at that moment.
class RecordingActions : public HeartbeatActions {
public:
    explicit RecordingActions(const FormModel& form) : form_(form) {}

    void Reconnect() override { ++reconnects; }
    void WriteXmlSnapshot() override {
        snapshotMagnitudes.push_back(form_.Text(FormText::Lmv));
        snapshotDays.push_back(form_.Text(FormText::LDiaJ2000));
    }
    bool ReopenSerialPort(std::int32_t port) override {
        reopenedPorts.push_back(port);
        return reopenSucceeds;
    }
    void AddChartPoint() override { ++chartPoints; }
    void SetChartTimerInterval(int milliseconds) override { chartInterval = milliseconds; }

    int reconnects = 0;
    std::vector<std::string> snapshotMagnitudes;
    std::vector<std::string> snapshotDays;
    std::vector<std::int32_t> reopenedPorts;
    bool reopenSucceeds = true;
    int chartPoints = 0;
    int chartInterval = -1;

private:
    const FormModel& form_;
};

class HeartbeatTest : public ::testing::Test {
protected:
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) heartbeat.Tick();
    }

    FormModel form;
    LiveSums readings;
    StationConfig config;
    ChartSettings chart;
    ManualClock clock{QDateTime(QDate(2023, 4, 9), QTime(22, 0, 0))};
    SkyTime sky{clock};
    StationLocale locale = StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", ".");
    RecordingActions actions{form};
    Heartbeat heartbeat{form, readings, config, chart, sky, clock, locale, actions};
};

TEST_F(HeartbeatTest, StaleReadingsRestartTheTickCount) {
    Ticks(3600);
    EXPECT_EQ(readings.TicksSinceReport(),
              3600 % 11);  // restarted by a stale declaration every 11 ticks
}

TEST_F(HeartbeatTest, ShowsEachChannelsZeroPoint) {
    DecodedReport report;
    report.observation[ChannelId::C740].zeroPoint = 20.456f;
    report.observation[ChannelId::C640].zeroPoint = 20;
    report.observation[ChannelId::Red].zeroPoint = 19.5f;
    report.observation[ChannelId::Blue].zeroPoint = 18.25f;
    readings.AddReport(report, 0);
    Ticks(1);
    EXPECT_EQ(form.Text(FormText::LCI1), "CI1: 20.46");
    EXPECT_EQ(form.Text(FormText::LCI2), "CI2: 20");
    EXPECT_EQ(form.Text(FormText::LCI3), "CI3: 19.5");
    EXPECT_EQ(form.Text(FormText::LCI4), "CI4: 18.25");
}

TEST_F(HeartbeatTest, NetworkSilenceMarksTheReadingsStaleEveryElevenTicks) {
    form.SetText(FormText::Lmv, "21.34");
    form.SetRxColour(kIndicatorGray);
    Ticks(10);
    EXPECT_EQ(form.Text(FormText::Lmv), "21.34");
    EXPECT_EQ(form.RxColour(), kIndicatorGray);
    Ticks(1);
    for (FormText id :
         {FormText::Lmv, FormText::Lmv2, FormText::LmvR, FormText::LmvG, FormText::LmvB}) {
        EXPECT_EQ(form.Text(id), "-.-");
    }
    EXPECT_EQ(form.RxColour(), kIndicatorRed);
    EXPECT_EQ(readings.TicksSinceReport(), 0);

    // A report half way delays the next declaration to 11 ticks after it.
    Ticks(5);
    readings.RestartSilence();
    form.SetText(FormText::Lmv, "21.00");
    Ticks(10);
    EXPECT_EQ(form.Text(FormText::Lmv), "21.00");
    Ticks(1);
    EXPECT_EQ(form.Text(FormText::Lmv), "-.-");
    EXPECT_EQ(actions.reconnects, 0);
}

TEST_F(HeartbeatTest, ASnapshotOnAStaleTickHoldsTheStaleLabels) {
    form.SetText(FormText::Lmv, "21.34");
    Ticks(110);  // tick 110 is both the tenth stale declaration and the 11th snapshot
    ASSERT_EQ(actions.snapshotMagnitudes.size(), 11u);
    EXPECT_EQ(actions.snapshotMagnitudes[0], "21.34");
    EXPECT_EQ(actions.snapshotMagnitudes.back(), "-.-");
}

TEST_F(HeartbeatTest, SerialSilenceReconnectsEveryTickFromTheNinth) {
    config.serialPortNumber = 3;
    Ticks(8);
    EXPECT_EQ(actions.reconnects, 0);
    Ticks(1);
    EXPECT_EQ(actions.reconnects, 1);
    EXPECT_EQ(form.RxColour(), kIndicatorRed);
    Ticks(3);
    EXPECT_EQ(actions.reconnects, 4);
    readings.RestartSilence();  // a frame starts
    Ticks(8);
    EXPECT_EQ(actions.reconnects, 4);
    EXPECT_EQ(form.Text(FormText::Lmv), "--");  // serial mode never marks labels stale
}

TEST_F(HeartbeatTest, TheSerialPortIsReopenedEvery240Ticks) {
    config.serialPortNumber = 5;
    for (int i = 0; i < 239; ++i) {
        readings.RestartSilence();
        Ticks(1);
    }
    EXPECT_TRUE(actions.reopenedPorts.empty());
    readings.RestartSilence();
    Ticks(1);
    EXPECT_THAT(actions.reopenedPorts, ElementsAre(5));
    EXPECT_EQ(form.RxColour(), kIndicatorGray);
    EXPECT_THAT(form.LogLines(), ElementsAre("Log"));

    actions.reopenSucceeds = false;
    config.serialPortNumber = 0;  // the count rests in network mode...
    for (int i = 0; i < 100; ++i) Ticks(1);
    config.serialPortNumber = 5;
    for (int i = 0; i < 240; ++i) {
        readings.RestartSilence();
        Ticks(1);
    }
    EXPECT_EQ(actions.reopenedPorts.size(), 2u);  // ...and resumes in serial mode
    EXPECT_EQ(form.RxColour(), kIndicatorRed);
    EXPECT_EQ(form.LogLines().back(), "Serial Port not found.");
}

TEST_F(HeartbeatTest, ShowsTheClockAfterTheSnapshot) {
    config.longitude = -3.7f;
    Ticks(9);
    EXPECT_EQ(form.Text(FormText::LHoraSideral), "10:56:44");
    EXPECT_EQ(form.Text(FormText::LHoraLocal), "22:00:00");
    EXPECT_EQ(form.Text(FormText::LDiaJ2000), "8499.41741");
    clock.Advance(86400 * 1000);
    Ticks(1);
    // The tenth tick's snapshot carries the day shown by the ninth.
    EXPECT_THAT(actions.snapshotDays, ElementsAre("8499.41741"));
    EXPECT_EQ(form.Text(FormText::LDiaJ2000), "8500.41741");
}

TEST_F(HeartbeatTest, TheFirstChartPointComesOnTheSecondTick) {
    heartbeat.SetChartStartStep(2);
    Ticks(1);
    EXPECT_EQ(actions.chartPoints, 0);
    Ticks(1);
    EXPECT_EQ(actions.chartPoints, 1);
    EXPECT_EQ(actions.chartInterval, 60);  // "60" taken as milliseconds
    Ticks(5);
    EXPECT_EQ(actions.chartPoints, 1);
}

TEST_F(HeartbeatTest, AChartIntervalThatIsNoIntegerIsReportedOnce) {
    heartbeat.SetChartStartStep(2);
    chart = ChartSettingsFromText("6x");
    Ticks(1);
    EXPECT_THAT([&] { Ticks(1); },
                ThrowsMessage<StationError>(StrEq("'6x' is not a valid integer value")));
    EXPECT_EQ(actions.chartPoints, 1);
    EXPECT_EQ(actions.chartInterval, -1);  // left as it was
    EXPECT_NO_THROW(Ticks(3));
    EXPECT_EQ(actions.chartPoints, 1);
    chart = ChartSettingsFromText("0");  // would stop the chart timer: refused as well
    heartbeat.SetChartStartStep(3);
    EXPECT_THROW(Ticks(1), StationError);
    EXPECT_EQ(actions.chartInterval, -1);
}

}  // namespace
}  // namespace noxa
