#include "app/station.h"
#include "app/station_timers.h"

#include "support/station_fixture.h"
#include "support/station_options.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineSeries>
#include <QValueAxis>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

namespace noxa {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// The shared station, started without a listener.
class ChartStationTest : public test::StationTest {
protected:
    ChartStationTest() {
        station.Form().SetText(FormText::EPuertoEth, "0");  // no listener needed
        station.Start();
    }

    // A report of the instrument, which the next chart point averages with the others.
    void Report(float mv740, float tSens, float tIR) {
        const std::string report =
            R"({"name":"qelvoxxx","F1":{"freq":1234.5,"mag":)" + std::to_string(mv740) +
            R"(,"zp":20.37},"F2":{"freq":2000.0,"mag":20.90,"zp":20.00},)"
            R"("F3":{"freq":600.0,"mag":20.80,"zp":19.60},)"
            R"("F4":{"freq":400.0,"mag":21.50,"zp":19.40,"tamb":)" +
            std::to_string(tSens) + R"(,"tsky":)" + std::to_string(tIR) + "}}";
        station.ReceiveDatagram(QByteArrayView(report));
    }
    QLineSeries* Series(ChartSeries id) { return station.Charts().Series(id); }
    std::pair<double, double> LeftRange() {
        return {station.Charts().MagnitudeAxis()->min(), station.Charts().MagnitudeAxis()->max()};
    }
    QStringList Entries() {
        QStringList names =
            QDir(dir.Path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
        names.sort();
        return names;
    }
};

TEST_F(ChartStationTest, AChartPointRefillsEverySeriesNewestFirst) {
    Report(20.0f, 10, -20);
    Report(21.0f, 10, -20);
    EXPECT_EQ(station.MakeChartPoint(), "");
    for (std::size_t i = 0; i < kChartSeriesCount; ++i) {
        EXPECT_EQ(Series(static_cast<ChartSeries>(i))->count(), 1440);
    }
    EXPECT_EQ(Series(ChartSeries::Magnitude740)->at(0), QPointF(0, 20.5));
    EXPECT_EQ(Series(ChartSeries::Clouds)->at(0), QPointF(0, 10));
    EXPECT_EQ(Series(ChartSeries::Magnitude740)->at(1439).x(), 1439);
    EXPECT_EQ(Series(ChartSeries::Magnitude740)->at(1), QPointF(1, 0));
    EXPECT_TRUE(QImage(dir.Path() + "/mag.jpg").width() > 0);
    EXPECT_TRUE(QImage(dir.Path() + "/temp.jpg").width() > 0);
    EXPECT_THAT(Entries(), ElementsAre("mag.jpg", "temp.jpg"));  // no bitmaps, no leftovers
}

TEST_F(ChartStationTest, TheChartTimerSavesTheHistoryAndTakesItsInterval) {
    StationTimers timers(station);
    station.Form().SetText(FormText::ETiempo, "30");
    station.ChartTick();
    EXPECT_EQ(timers.Chart().interval(), 30000);
    EXPECT_EQ(QFile(dir.Path() + "/noxagraf.hex").size(), 103680);
    EXPECT_THAT(Entries(), ElementsAre("mag.jpg", "noxagraf.hex", "temp.jpg"));
    EXPECT_TRUE(errors.empty());
}

TEST_F(ChartStationTest, AnIntervalThatIsNoNumberOrOutOfRangeReadsSixty) {
    StationTimers timers(station);
    station.Form().SetText(FormText::ETiempo, "30");
    station.ChartTick();
    for (const char* text : {"abc", "0", "500", "-5", ""}) {
        station.Form().SetText(FormText::ETiempo, text);
        station.ChartTick();
        EXPECT_EQ(station.Form().Text(FormText::ETiempo), "60") << text;
        EXPECT_EQ(timers.Chart().interval(), 30000) << text;
    }
    EXPECT_EQ(station.Days().Newest().time, station.Days().slot[1434].time);  // 6 points made
}

TEST_F(ChartStationTest, AnImageThatCannotBeWrittenIsReportedButTheHistoryIsSaved) {
    ASSERT_TRUE(QDir(dir.Path()).mkdir("mag.jpg"));
    station.ChartTick();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_THAT(errors[0], testing::StartsWith("Image mag.jpg not written: "));
    EXPECT_EQ(QFile(dir.Path() + "/noxagraf.hex").size(), 103680);
}

// While it lives, no file of this process grows past `bytes`: a write cut short, as on a disk
// with only that much room left.
class RoomLeft {
public:
    explicit RoomLeft(rlim_t bytes) : signal_(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        const rlimit limited{bytes, saved_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~RoomLeft() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, signal_);
    }

private:
    rlimit saved_{};
    void (*signal_)(int);
};

TEST_F(ChartStationTest, AFullDiskIsOneLinePerFileHoweverMuchRoomIsLeft) {
    for (const rlim_t room : {4096, 8192, 1000}) {
        const RoomLeft full(room);
        station.ChartTick();
    }
    station.ChartTick();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Image mag.jpg not written: File too large");
    const auto count = [&](const std::string& text) {
        return std::count_if(Log().begin(), Log().end(),
                             [&](const std::string& line) { return line.find(text) != line.npos; });
    };
    EXPECT_EQ(count("noxagraf.hex not saved"), 1);
    EXPECT_EQ(count("noxagraf.hex saved again"), 1);
    EXPECT_EQ(count("Chart images written again"), 1);
}

TEST_F(ChartStationTest, ZoomCyclesThroughFourScales) {
    EXPECT_EQ(LeftRange(), std::make_pair(10.0, 22.0));  // as at start-up
    EXPECT_EQ(station.Charts().NelmAxis()->max(), 7.0);
    std::vector<std::pair<double, double>> ranges;
    for (int click = 0; click < 5; ++click) {
        station.StepChartZoom();
        ranges.push_back(LeftRange());
    }
    EXPECT_THAT(ranges,
                ElementsAre(std::pair(15.0, 18.0), std::pair(17.0, 20.0), std::pair(19.0, 22.0),
                            std::pair(10.0, 22.0), std::pair(15.0, 18.0)));
    EXPECT_EQ(station.Config().zoomStep, 2);
    EXPECT_EQ(station.Charts().NelmAxis()->min(), 1.0);
    EXPECT_EQ(station.Charts().NelmAxis()->max(), 4.0);
}

TEST_F(ChartStationTest, AHiddenSeriesKeepsReceivingPoints) {
    station.ToggleChartSeries(ChartSeries::Magnitude740);
    EXPECT_FALSE(Series(ChartSeries::Magnitude740)->isVisible());
    Report(19, 0, 0);
    station.MakeChartPoint();
    station.ToggleChartSeries(ChartSeries::Magnitude740);
    EXPECT_TRUE(Series(ChartSeries::Magnitude740)->isVisible());
    EXPECT_EQ(Series(ChartSeries::Magnitude740)->at(0).y(), 19.0);
    station.ToggleChartSeries(ChartSeries::Nelm);
    EXPECT_FALSE(Series(ChartSeries::Nelm)->isVisible());
    EXPECT_TRUE(Series(ChartSeries::Magnitude640)->isVisible());
}

TEST_F(ChartStationTest, CleanGraphicsThenAPoint) {
    Report(20, 10, -20);
    station.MakeChartPoint();
    Report(21, 10, -20);
    station.MakeChartPoint();
    station.ClearCharts();
    EXPECT_EQ(Series(ChartSeries::Clouds)->count(), 0);
    EXPECT_EQ(Series(ChartSeries::Magnitude740)->count(), 1440);
    EXPECT_EQ(Series(ChartSeries::Magnitude740)->at(0).y(), 0.0);
    EXPECT_EQ(station.Days().slot[1438].meanMv740, 0.0f);
    EXPECT_EQ(station.Days().Newest().meanMv740, 21.0f);  // still read for the estimates shown

    Report(22, 10, -20);
    station.MakeChartPoint();
    EXPECT_EQ(Series(ChartSeries::Clouds)->count(), 1440);
    EXPECT_EQ(Series(ChartSeries::Magnitude740)->at(0).y(), 22.0);
    EXPECT_EQ(Series(ChartSeries::Magnitude740)->at(1).y(), 21.0);  // the newest slot was kept
    EXPECT_EQ(Series(ChartSeries::Magnitude740)->at(2).y(), 0.0);
}

TEST_F(ChartStationTest, SaveNamesTheImagesAfterTheJ2000Day) {
    station.SaveChartImages();
    EXPECT_TRUE(QFile::exists(dir.Path() + "/Magnitude JD 2000.jpg"));
    EXPECT_TRUE(QFile::exists(dir.Path() + "/Temperature JD 2000.jpg"));
    station.Form().SetText(FormText::LDiaJ2000, "8499.72917");
    station.SaveChartImages();
    EXPECT_THAT(Entries(), ElementsAre("Magnitude 8499.72917.jpg", "Magnitude JD 2000.jpg",
                                       "Temperature 8499.72917.jpg", "Temperature JD 2000.jpg"));
}

TEST_F(ChartStationTest, ARestartKeepsTheChartHistory) {
    Report(20.25f, 9, -14);
    station.ChartTick();
    const DayTables saved = station.Days();

    Station restarted(clock, StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", "."),
                      test::TestStationOptions(dir.Path()));
    restarted.Start();
    EXPECT_EQ(std::memcmp(restarted.Days().slot.data(), saved.slot.data(), sizeof saved.slot), 0);
    // The next point follows the stored ones directly.
    restarted.MakeChartPoint();
    EXPECT_EQ(restarted.Days().slot[1438].meanMv740, 20.25f);
}

}  // namespace
}  // namespace noxa
