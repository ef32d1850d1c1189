#include "write_long_term.h"

#include "messages.h"

#include "night/hourglass_chart.h"
#include "night/monthly_file.h"

#include <QtConcurrent>

#include <atomic>
#include <string>

using namespace noxa;

namespace {

using InstrumentYear = std::pair<std::pair<std::string, int>, std::vector<const Night*>>;

// The charts of every instrument and year; false when one could not be written.
bool WriteHourglasses(const std::vector<Night>& nights, const QString& folder, Progress& bar) {
    const auto byYear = NightsByInstrumentYear(nights);
    const std::vector<InstrumentYear> years(byYear.begin(), byYear.end());
    std::atomic<int> drawn{0};
    std::atomic<bool> ok{true};
    QMutex printing;
    QtConcurrent::blockingMap(years, [&](const InstrumentYear& item) {
        const auto& [instrument, year] = item.first;
        const QString path = HourglassChartPath(folder, instrument, year);
        QString error;
        if (!SaveHourglassChart(BuildHourglassGrid(item.second, year), instrument, path, error)) {
            const QMutexLocker lock(&printing);
            Say(QStringLiteral("%1 not written: %2").arg(path, error));
            ok = false;
        }
        bar.Show("years", ++drawn, int(years.size()));
    });
    bar.End();
    return ok;
}

bool WriteMonthly(const std::vector<Night>& nights, const QString& folder, float cloudy) {
    QString error;
    if (AddToMonthlyFile(folder, ComputeMonthlyStatistics(nights, cloudy), error)) return true;
    Say(error);
    return false;
}

}  // namespace

bool WriteLongTerm(const std::vector<Night>& nights, const NightOptions& options, Progress& bar,
                   bool& failed) {
    if (options.charts && !WriteHourglasses(nights, options.folder, bar)) failed = true;
    return WriteMonthly(nights, options.folder, options.cloudyAbovePercent);
}
