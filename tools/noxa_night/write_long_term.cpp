#include "write_long_term.h"

#include "messages.h"

#include "night/hourglass_chart.h"
#include "night/monthly_file.h"
#include "night/night_report.h"
#include "night/night_summary.h"
#include "night/year_digests.h"

#include <QFile>
#include <QFileInfo>
#include <QtConcurrent>

#include <atomic>
#include <set>
#include <string>

using namespace noxa;

namespace {

// The nights of the summary of this instrument's year that its kept data lack: nights summed up
// before this program kept the year's data.
int NightsOnlyInSummary(const std::set<std::pair<std::string, std::string>>& summary,
                        const YearData& year, const std::vector<NightDigest>& merged) {
    std::set<std::string> known;
    for (const NightDigest& night : merged)
        known.insert(night.Date().toString(Qt::ISODate).toStdString());
    int missing = 0;
    const std::string prefix = std::to_string(year.year) + '-';
    for (const auto& [date, instrument] : summary)
        if (instrument == year.instrument && date.starts_with(prefix) && !known.contains(date))
            ++missing;
    return missing;
}

// Keeps the year's merged data and draws its chart when it changed or is not there; false when
// something could not be written.
bool WriteYear(const YearData& year, const std::vector<NightDigest>& merged,
               const QByteArray& encoded, bool changed, const NightOptions& options) {
    QString error;
    const QString dataPath = YearDigestsPath(options.folder, year.instrument, year.year);
    if (changed && !WriteYearDigests(dataPath, encoded, error)) {
        Say(QStringLiteral("%1 not written: %2").arg(dataPath, error));
        return false;
    }
    // The chart is current when it is newer than the data it was drawn from: a run without
    // charts leaves it older.
    const QString chart = HourglassChartPath(options.folder, year.instrument, year.year);
    const QFileInfo drawn(chart);
    if (!options.charts ||
        (!changed && drawn.exists() && drawn.lastModified() >= QFileInfo(dataPath).lastModified()))
        return true;
    std::vector<const HourglassColumn*> columns;
    for (const NightDigest& night : merged) columns.push_back(&night.column);
    if (SaveHourglassChart(BuildHourglassGrid(columns, year.year), year.instrument, chart, error))
        return true;
    Say(QStringLiteral("%1 not written: %2").arg(chart, error));
    return false;
}

std::set<std::pair<std::string, std::string>> SummaryNights(const QString& folder) {
    QFile file(NightSummaryPath(folder));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return NightsOfSummary(file.readAll().toStdString());
}

}  // namespace

bool WriteLongTerm(std::vector<YearData>& years, const NightOptions& options, Progress& bar,
                   bool& failed) {
    const auto summary = SummaryNights(options.folder);
    std::atomic<int> done{0};
    std::atomic<bool> ok{true};
    QMutex collecting;
    std::vector<MonthlyStatistics> months;
    std::set<std::string> withoutCloud;
    QtConcurrent::blockingMap(years, [&](YearData& year) {
        if (!year.readable) {
            ok = false;
            return;
        }
        const QByteArray before = EncodeDigests(year.kept, {});
        const std::vector<NightDigest> merged =
            MergeDigests(std::move(year.kept), std::move(year.fresh));
        year.kept.clear();
        const QByteArray encoded = EncodeDigests(merged, {});
        const bool changed = encoded != before;
        const bool written = WriteYear(year, merged, encoded, changed, options);
        std::vector<const NightDigest*> pointers;
        for (const NightDigest& night : merged) pointers.push_back(&night);
        auto ofYear =
            ComputeMonthlyStatistics(year.instrument, pointers, options.cloudyAbovePercent);
        const int onlyInSummary = NightsOnlyInSummary(summary, year, merged);
        const QMutexLocker lock(&collecting);
        if (!written) ok = false;
        if (onlyInSummary > 0)
            Say(QStringLiteral("%1: %2 nights of the year in summary.csv are not in its kept data "
                               "(summed up by an earlier version): give the year's files once "
                               "more for its chart and months")
                    .arg(HourglassChartPath(options.folder, year.instrument, year.year))
                    .arg(onlyInSummary));
        for (MonthlyStatistics& month : ofYear) {
            if (month.rule == ClearRule::Steadiness || month.rule == ClearRule::DarkOnly)
                withoutCloud.insert(month.instrument);
            months.push_back(std::move(month));
        }
        bar.Show("years", ++done, int(years.size()));
    });
    bar.End();
    if (!ok) failed = true;
    for (const std::string& instrument : withoutCloud)
        Say(QStringLiteral("monthly.csv: months of %1 without cloud cover rest on steady or on "
                           "all dark records, as median_rule says")
                .arg(instrument.empty() ? QStringLiteral("the station")
                                        : QString::fromStdString(instrument)));
    std::sort(months.begin(), months.end(), [](const auto& a, const auto& b) {
        return std::tie(a.instrument, a.year, a.month) < std::tie(b.instrument, b.year, b.month);
    });
    QString error;
    if (AddToMonthlyFile(options.folder, months, error)) return true;
    Say(error);
    return false;
}
