#include "year_data.h"

#include "messages.h"

#include "night/hourglass_grid.h"
#include "night/night_report.h"
#include "night/year_digests.h"

#include <QFileInfo>
#include <QtConcurrent>

#include <map>

using namespace noxa;

std::vector<YearData> GatherYears(const std::vector<Night>& nights, const NightOptions& options,
                                  std::vector<bool>& chartCurrent) {
    std::vector<NightDigest> digests = QtConcurrent::blockingMapped<std::vector<NightDigest>>(
        nights.cbegin(), nights.cend(), [](const Night& night) { return DigestNight(night); });
    std::map<std::pair<std::string, int>, YearData> byYear;
    std::vector<YearData*> order(nights.size());
    for (size_t i = 0; i < nights.size(); ++i) {
        YearData& year = byYear[{nights[i].instrument, nights[i].date.year()}];
        year.instrument = nights[i].instrument;
        year.year = nights[i].date.year();
        order[i] = &year;
    }
    std::vector<YearData*> years;
    for (auto& [key, year] : byYear) years.push_back(&year);
    QMutex printing;
    QtConcurrent::blockingMap(years, [&](YearData* year) {
        QString error;
        const QString path = YearDigestsPath(options.folder, year->instrument, year->year);
        if (ReadYearDigests(path, year->kept, error)) return;
        year->readable = false;
        const QMutexLocker lock(&printing);
        Say(error + QStringLiteral(": the year's chart and months are left as they are"));
    });
    // Each night's digest goes to its year; its chart is current when the kept digest of its
    // night has the same records and the chart is there.
    chartCurrent.assign(nights.size(), false);
    for (size_t i = 0; i < nights.size(); ++i) {
        const std::vector<NightDigest>& kept = order[i]->kept;
        const auto before = std::find_if(kept.begin(), kept.end(), [&](const NightDigest& d) {
            return d.Date() == nights[i].date;
        });
        const quint64 drawn = before == kept.end() ? 0 : before->recordsHash;
        chartCurrent[i] =
            drawn == digests[i].recordsHash &&
            QFileInfo::exists(NightChartPath(options.folder, nights[i].date, nights[i].instrument));
        // Without charts the kept hash stays that of the records the chart shows, if any.
        if (!options.charts) digests[i].recordsHash = drawn;
        order[i]->fresh.push_back(std::move(digests[i]));
    }
    std::vector<YearData> out;
    for (auto& [key, year] : byYear) out.push_back(std::move(year));
    return out;
}
