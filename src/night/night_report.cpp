#include "night/night_report.h"

#include "night/night_chart.h"
#include "recording/atomic_file.h"

#include <QDir>
#include <QFile>

namespace noxa {

QString NightChartPath(const QString& folder, QDate night, const std::string& instrument) {
    const QString suffix =
        instrument.empty() ? QString() : '_' + QString::fromStdString(instrument);
    return folder + '/' + night.toString(Qt::ISODate) + suffix + QStringLiteral(".png");
}

QString NightSummaryPath(const QString& folder) {
    return folder + QStringLiteral("/summary.csv");
}

bool AddToNightSummary(const QString& folder, const std::vector<std::string>& lines,
                       QString& error) {
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("the folder %1 cannot be made").arg(folder);
        return false;
    }
    QFile file(NightSummaryPath(folder));
    std::string existing;
    if (file.open(QIODevice::ReadOnly)) existing = file.readAll().toStdString();
    const std::string text = MergeSummaryCsv(existing, lines);
    return ReplaceFile(file.fileName(), QByteArrayView(text.data(), qsizetype(text.size())), error);
}

bool WriteNightReport(const Night& night, const QString& folder, float cloudyAbovePercent,
                      QString& error) {
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("the folder %1 cannot be made").arg(folder);
        return false;
    }
    if (!SaveNightChart(night, NightChartPath(folder, night.date), error)) return false;
    return AddToNightSummary(folder, {SummaryCsvLine(SummarizeNight(night, cloudyAbovePercent))},
                             error);
}

}  // namespace noxa
