#include "outputs/night/night_charts_output.h"

#include "core/station_locale.h"
#include "night/night_files.h"
#include "night/night_watcher.h"
#include "outputs/common/safety_rule.h"
#include "outputs/night/station_year_sources.h"
#include "outputs/night/year_redraw.h"
#include "recording/data_file.h"
#include "time/station_clock.h"
#include "time/sun_moon.h"

#include <QFile>

namespace noxa {
namespace {

class RunningNightCharts : public Output {
public:
    explicit RunningNightCharts(OutputContext& context)
        : watcher_(context.feed, context.clock, context.dir.File("night"), context.place,
                   context.siteZone, context.safety.Limits().maxCloudCover, context.log),
          year_(watcher_, StationYearSourcesOf(context), context.dir.File("night"),
                context.safety.Limits().maxCloudCover, context.log) {
        Restore(context);
    }

private:
    // After a restart, tonight's records so far come back from tonight's night file, or else
    // from the data files of the months the night is in.
    void Restore(const OutputContext& context) {
        const auto& nightFile = context.services.tonightsNightFile;
        if (nightFile && QFile::exists(nightFile())) {
            watcher_.Restore(ReadNightFile(nightFile()).samples);
            return;
        }
        // The data files of the months of the night's start and of now, in the computer's time.
        const QDateTime now = context.clock.Now();
        const QDate begun = QDateTime(watcher_.Tonight(), QTime(12, 0), context.siteZone)
                                .toTimeZone(now.timeZone())
                                .date();
        std::vector<QDate> months{begun};
        if (now.date().month() != begun.month()) months.push_back(now.date());
        for (const QDate month : months) {
            const QString path = context.dir.File(DataFileName(context.stationName, month));
            if (!QFile::exists(path)) continue;
            const StationLocale& locale = context.locale;
            watcher_.Restore(
                ReadDataFile(path, locale.DatePattern(), locale.TimePattern(), now.timeZone())
                    .samples);
        }
    }

    NightWatcher watcher_;
    YearRedraw year_;
};

std::unique_ptr<Output> Start(const Settings& settings, OutputContext& context) {
    if (!settings.OnOff("night/charts")) return nullptr;
    return std::make_unique<RunningNightCharts>(context);
}

}  // namespace

OutputKind NightChartsOutput() {
    return {{
                {"night/charts", "night-charts", "on|off", "on",
                 "At nautical dawn, draw the night's chart and add its line to the summary, in "
                 "night/."},
            },
            Start};
}

}  // namespace noxa
