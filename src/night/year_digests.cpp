#include "night/year_digests.h"

#include "night/hourglass_chart.h"
#include "recording/atomic_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <map>

namespace noxa {

QString YearDigestsPath(const QString& folder, const std::string& instrument, int year) {
    const QFileInfo chart(HourglassChartPath(folder, instrument, year));
    return folder + QStringLiteral("/year-data/") + chart.completeBaseName() +
           QStringLiteral(".bin");
}

bool ReadYearDigests(const QString& path, std::vector<NightDigest>& digests, QString& error) {
    digests.clear();
    QFile file(path);
    if (!file.exists()) return true;
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
        return false;
    }
    auto decoded = DecodeDigests(file.readAll(), HourglassLayout{});
    if (!decoded) {
        error = QStringLiteral("%1 is not a year's data as this noxa-night keeps it").arg(path);
        return false;
    }
    digests = std::move(*decoded);
    return true;
}

bool WriteYearDigests(const QString& path, const QByteArray& encoded, QString& error) {
    if (!QDir().mkpath(QFileInfo(path).path())) {
        error = QStringLiteral("the folder %1 cannot be made").arg(QFileInfo(path).path());
        return false;
    }
    return ReplaceFile(path, encoded, error);
}

std::vector<NightDigest> MergeDigests(std::vector<NightDigest> kept,
                                      std::vector<NightDigest> fresh) {
    std::map<QDate, NightDigest> byDate;
    for (NightDigest& digest : kept) byDate[digest.Date()] = std::move(digest);
    for (NightDigest& digest : fresh) byDate[digest.Date()] = std::move(digest);
    std::vector<NightDigest> merged;
    merged.reserve(byDate.size());
    for (auto& [date, digest] : byDate) merged.push_back(std::move(digest));
    return merged;
}

}  // namespace noxa
