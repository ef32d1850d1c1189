#include "write_nights.h"

#include "messages.h"

#include "night/night_chart.h"
#include "night/night_report.h"
#include "night/night_summary.h"

#include <QDir>
#include <QMutex>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <string>

using namespace noxa;

bool WriteNights(const std::vector<Night>& nights, const std::vector<bool>& chartCurrent,
                 const NightOptions& options, Progress& bar, bool& failed) {
    const QString& folder = options.folder;
    if (!QDir().mkpath(folder)) {
        Say(QStringLiteral("the folder %1 cannot be made").arg(folder));
        return false;
    }
    std::atomic<int> drawn{0};
    std::atomic<bool> chartFailed{false};
    QMutex printing;
    const auto reportOne = [&](NightChartPainter& painter, const Night& night) {
        QString error;
        const bool current = chartCurrent[size_t(&night - nights.data())];
        if (options.charts && !current &&
            !painter.Save(night, NightChartPath(folder, night.date, night.instrument), error)) {
            const QMutexLocker lock(&printing);
            const QString instrument = QString::fromStdString(night.instrument);
            Say(QStringLiteral("chart of %1%2 not written: %3")
                    .arg(night.date.toString(Qt::ISODate),
                         instrument.isEmpty() ? QString() : QStringLiteral(" of ") + instrument,
                         error));
            chartFailed = true;
        }
        bar.Show("charts", ++drawn, int(nights.size()));
        return SummaryCsvLine(SummarizeNight(night, options.cloudyAbovePercent));
    };
    // Each chart waits for its file to reach the disk (about a millisecond, a fifth of its
    // drawing): twice as many threads as cores keep the cores drawing meanwhile. Each thread
    // takes the next night until none is left, with a painter of its own that keeps the labels
    // it has laid out for the charts after.
    std::vector<std::string> lines(nights.size());
    std::atomic<std::size_t> next{0};
    QThreadPool pool;
    pool.setMaxThreadCount(2 * std::max(1, QThread::idealThreadCount()));
    for (int thread = 0; thread < pool.maxThreadCount(); ++thread) {
        pool.start([&] {
            NightChartPainter painter;
            for (std::size_t i; (i = next++) < nights.size();) {
                lines[i] = reportOne(painter, nights[i]);
            }
        });
    }
    pool.waitForDone();
    bar.End();
    if (chartFailed) failed = true;
    QString error;
    if (!AddToNightSummary(folder, lines, error)) {
        Say(QStringLiteral("%1 not written: %2").arg(NightSummaryPath(folder), error));
        return false;
    }
    return true;
}
