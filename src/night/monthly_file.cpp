#include "night/monthly_file.h"

#include "recording/atomic_file.h"

#include <QFile>

#include <string>

namespace noxa {

QString MonthlyFilePath(const QString& folder) {
    return folder + QStringLiteral("/monthly.csv");
}

bool AddToMonthlyFile(const QString& folder, const std::vector<MonthlyStatistics>& months,
                      QString& error) {
    std::vector<std::string> lines;
    lines.reserve(months.size());
    for (const MonthlyStatistics& month : months) lines.push_back(MonthlyCsvLine(month));
    const QString path = MonthlyFilePath(folder);
    QFile file(path);
    std::string existing;
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
            return false;
        }
        existing = file.readAll().toStdString();
    }
    const std::string text = MergeMonthlyCsv(existing, lines);
    QString reason;
    if (ReplaceFile(path, QByteArrayView(text.data(), qsizetype(text.size())), reason)) return true;
    error = QStringLiteral("%1 not written: %2").arg(path, reason);
    return false;
}

}  // namespace noxa
