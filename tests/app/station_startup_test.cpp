#include "app/station.h"
#include "app/station_timers.h"

#include "support/station_fixture.h"
#include "support/temp_dir.h"
#include "time/station_clock.h"

#include <QFile>
#include <QValueAxis>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace noxa {
namespace {

using ::testing::ElementsAre;

using StartupTest = test::StationTest;

TEST_F(StartupTest, BuildsTheStationInOrder) {
    StationTimers timers(station);
    station.Start();
    timers.Start();
    EXPECT_THAT(Log(), ElementsAre("Config file not found",
                                   "22:00:05  Waiting NOXA-V4I broadcast on port 2255."));
    EXPECT_EQ(station.Form().Caption(), "NOXA-V4I  v: 1.3.1.0  qelvoxxx");
    // Slot times from the clock; the zoom always starts on the first scale.
    EXPECT_NEAR(station.Days().Newest().date + station.Days().Newest().time,
                45025 + (22 * 3600 + 5) / 86400.0 - 1.0 / 1440, 1e-9);
    EXPECT_EQ(station.Config().zoomStep, 1);
    EXPECT_EQ(station.Charts().MagnitudeAxis()->min(), 10.0);
    EXPECT_EQ(station.Charts().NelmAxis()->max(), 7.0);
    EXPECT_TRUE(timers.Heartbeat().isActive());
    EXPECT_EQ(timers.Heartbeat().interval(), 1000);
    EXPECT_TRUE(timers.Chart().isActive());
    EXPECT_EQ(timers.Chart().interval(), 60000);
}

TEST_F(StartupTest, TheChartsOpenOnTheFirstScaleWhateverZoomWasSaved) {
    for (int click = 0; click < 3; ++click) station.StepChartZoom();
    station.SaveSettings();  // the file keeps the zoom step, 3
    station.Start();
    EXPECT_EQ(station.Config().zoomStep, 1);
    EXPECT_EQ(station.Charts().MagnitudeAxis()->min(), 10.0);
}

TEST_F(StartupTest, TheFirstTwoTicksMakeAChartPointAndArmTheChartTimer) {
    StationTimers timers(station);
    station.Start();
    station.Tick();
    station.Tick();
    EXPECT_EQ(timers.Chart().interval(), 60);
    EXPECT_TRUE(QFile::exists(dir.Path() + "/mag.jpg"));
    EXPECT_FALSE(
        QFile::exists(dir.Path() + "/noxagraf.hex"));  // only the chart timer saves the history
    station.ChartTick();
    EXPECT_EQ(timers.Chart().interval(), 60000);
    EXPECT_EQ(QFile(dir.Path() + "/noxagraf.hex").size(), 103680);
    EXPECT_TRUE(errors.empty());
}

TEST_F(StartupTest, TheCaptionKeepsTheNameItStartedWith) {
    station.Start();
    station.Form().SetText(FormText::Esitio, "renamed");
    station.SaveSettings();
    EXPECT_EQ(station.Form().Caption(), "NOXA-V4I  v: 1.3.1.0  qelvoxxx");
}

TEST_F(StartupTest, CleanLogLeavesNoLine) {
    station.Start();
    station.ClearLog();
    EXPECT_TRUE(Log().empty());
    station.Connect();
    EXPECT_THAT(Log(), ElementsAre("22:00:05  Waiting NOXA-V4I broadcast on port 2255."));
}

TEST_F(StartupTest, AnErrorInATickIsShownAndTheStationGoesOn) {
    std::int32_t silentSeconds = 0;
    QObject::connect(&station.Feed(), &ObservationFeed::linkStatus,
                     [&](const LinkStatus& status) { silentSeconds = status.secondsSinceReport; });
    station.Start();
    station.Form().SetText(FormText::ETiempo, "sixty");
    station.Tick();
    station.Tick();
    EXPECT_THAT(errors, ElementsAre("'sixty' is not a valid integer value"));
    station.Tick();
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(silentSeconds, 3);  // every tick counted
}

TEST_F(StartupTest, WithoutAWindowErrorsGoToTheLog) {
    station.SetErrorHandler({});
    station.Start();
    station.Form().SetText(FormText::ELatMin, "x");
    station.SaveSettings();
    EXPECT_EQ(Log().back(), "Error: 'x' is not a valid floating point value");
}

}  // namespace
}  // namespace noxa
