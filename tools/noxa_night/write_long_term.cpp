#include "write_long_term.h"

#include "messages.h"

#include "night/hourglass_chart.h"
#include "night/monthly_statistics.h"
#include "recording/atomic_file.h"

#include <QFile>
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
    std::vector<std::string> lines;
    for (const MonthlyStatistics& month : ComputeMonthlyStatistics(nights, cloudy))
        lines.push_back(MonthlyCsvLine(month));
    const QString path = folder + QStringLiteral("/monthly.csv");
    QFile file(path);
    std::string existing;
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly)) {
            Say(QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
            return false;
        }
        existing = file.readAll().toStdString();
    }
    const std::string text = MergeMonthlyCsv(existing, lines);
    QString error;
    if (ReplaceFile(path, QByteArrayView(text.data(), qsizetype(text.size())), error)) return true;
    Say(QStringLiteral("%1 not written: %2").arg(path, error));
    return false;
}

}  // namespace

bool WriteLongTerm(const std::vector<Night>& nights, const NightOptions& options, Progress& bar,
                   bool& failed) {
    if (options.charts && !WriteHourglasses(nights, options.folder, bar)) failed = true;
    return WriteMonthly(nights, options.folder, options.cloudyAbovePercent);
}
