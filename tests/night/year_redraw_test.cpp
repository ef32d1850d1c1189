#include "outputs/night/year_redraw.h"

#include "core/observation_feed.h"
#include "night/night_watcher.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"
#include "test_nights.h"
#include "time/station_clock.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace noxa {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

const QTimeZone kBerlin("Europe/Berlin");

std::string ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// The station "roof" in Munich, with its data files in a temporary folder, from noon on 10 March
// 2024.
class YearRedrawTest : public ::testing::Test {
protected:
    StationYearSources Sources() const {
        return {{}, dir.Path(), "roof", {"%d/%m/%Y", "%H:%M:%S", kBerlin}, {48.1, 11.6}};
    }
    // Waits for the run that `act` starts to end.
    void Run(const std::function<void()>& act) {
        QSignalSpy ended(&redraw, &YearRedraw::finished);
        act();
        ASSERT_TRUE(ended.wait(10000));
    }

    test::ScopedWorkDir dir;
    const QString folder = dir.Path() + "/night";
    ObservationFeed feed;
    ManualClock clock{QDateTime(QDate(2024, 3, 10), QTime(13, 0), kBerlin)};
    std::vector<std::string> nightLog, log;
    NightWatcher watcher{feed, clock, folder, {48.1, 11.6}, kBerlin, 30, test::KeepIn(nightLog)};
    YearRedraw redraw{watcher, [this] { return Sources(); }, folder, 30, test::KeepIn(log)};
};

TEST_F(YearRedrawTest, AtDawnTheYearsChartAndMonthsAreWrittenFromTheDataFilesAndTonight) {
    QFile february(dir.Path() + "/roof_02_2024.csv");
    ASSERT_TRUE(february.open(QIODevice::WriteOnly));
    february.write(
        "# roof\n# C1: 740\n# Date\t Time\n"
        "10/02/2024\t23:30:00\t01234.5\t21.50\t0.0\t 0.0\t00050.5\t20.10\t00.500\t19.00"
        "\t00020.0\t18.50\t05.0\t-15.00\t\n");
    february.close();

    Run([&] {
        IntervalRecord r;
        r[ChannelId::C740].mag = 21;
        for (; clock.Now().time() != QTime(7, 0); clock.Advance(600000)) {
            r.end = clock.NowUtc();
            emit feed.recorded(r);
        }
    });
    EXPECT_TRUE(QFile::exists(folder + "/hourglass-2024.png"));
    const std::string monthly = ReadText(folder + "/monthly.csv");
    EXPECT_THAT(monthly, StartsWith("instrument,month,"));
    EXPECT_THAT(monthly, HasSubstr("\n,2024-02,1,"));
    EXPECT_THAT(monthly, HasSubstr("\n,2024-03,1,"));
    EXPECT_TRUE(log.empty());
}

TEST_F(YearRedrawTest, AFailureIsSaidOnceAndItsEndOnce) {
    ASSERT_TRUE(QDir().mkpath(folder + "/monthly.csv/x"));  // no file can be written there
    Night night = test::MakeNight();
    Run([&] { redraw.Redraw(night); });
    night.date = night.date.addDays(1);
    Run([&] { redraw.Redraw(night); });
    ASSERT_EQ(log.size(), 1u);
    EXPECT_THAT(log[0], HasSubstr("not written"));

    ASSERT_TRUE(QDir(folder + "/monthly.csv").removeRecursively());
    night.date = night.date.addDays(1);
    Run([&] { redraw.Redraw(night); });
    ASSERT_EQ(log.size(), 2u);
    EXPECT_THAT(log[1], HasSubstr("written again"));
    EXPECT_THAT(ReadText(folder + "/monthly.csv"), HasSubstr("\n,2024-03,3,"));
}

}  // namespace
}  // namespace noxa
