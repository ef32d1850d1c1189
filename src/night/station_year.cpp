#include "night/station_year.h"

#include "night/hourglass_chart.h"
#include "night/monthly_file.h"
#include "night/night_collection.h"
#include "recording/data_file.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <map>

namespace noxa {
namespace {

// The night files of the nights that began in `year`: yyyyMMdd_HHmmss_<id>.dat.
QStringList NightFilesOf(const QString& folder, int year) {
    QStringList paths;
    const QString pattern = QString::number(year) + QStringLiteral("????_??????_*.dat");
    for (const QString& name : QDir(folder).entryList({pattern}, QDir::Files, QDir::Name))
        paths.append(QDir(folder).filePath(name));
    return paths;
}

// The data files of the year's months, and of the next January, where the year's last night
// ends.
QStringList DataFilesOf(const StationYearSources& sources, int year) {
    QStringList paths;
    for (int month = 1; month <= 13; ++month) {
        const QDate first = QDate(year, 1, 1).addMonths(month - 1);
        const QString path =
            QDir(sources.dataFileFolder)
                .filePath(QString::fromStdString(DataFileName(sources.stationName, first)));
        if (QFile::exists(path)) paths.append(path);
    }
    return paths;
}

std::vector<Night> NightsOf(NightFileRecords records, const StationYearSources& sources) {
    const bool withoutSky =
        std::any_of(records.samples.begin(), records.samples.end(),
                    [](const NightSample& s) { return std::isnan(s.sunAltitude); });
    if (withoutSky) AddSky(records.samples, records.place.value_or(sources.place));
    std::vector<Night> nights = SplitIntoNights(std::move(records.samples), records.zone);
    for (Night& night : nights) night.instrument.clear();  // the station's own
    return nights;
}

}  // namespace

std::vector<Night> ReadStationYear(const StationYearSources& sources, int year,
                                   std::vector<Night> newest) {
    NightCollection collection;
    if (!sources.nightFileFolder.isEmpty()) {
        for (const QString& path : NightFilesOf(sources.nightFileFolder, year))
            collection.Add(NightsOf(ReadNightFile(path), sources));
    } else {
        const DataFileTimes& times = sources.dataTimes;
        for (const QString& path : DataFilesOf(sources, year))
            collection.Add(NightsOf(
                ReadDataFile(path, times.datePattern, times.timePattern, times.zone), sources));
    }
    std::map<std::string, int> repeated;
    std::map<QDate, Night> byDate;
    for (Night& night : collection.Take(repeated))
        if (night.date.year() == year) byDate[night.date] = std::move(night);
    for (Night& night : newest) {
        if (night.date.year() != year) continue;
        night.instrument.clear();
        byDate[night.date] = std::move(night);
    }
    std::vector<Night> nights;
    nights.reserve(byDate.size());
    for (auto& [date, night] : byDate) nights.push_back(std::move(night));
    return nights;
}

bool WriteStationYear(const std::vector<Night>& nights, int year, const QString& folder,
                      float cloudyAbovePercent, QString& error) {
    std::vector<const Night*> ofYear;
    for (const Night& night : nights)
        if (night.date.year() == year) ofYear.push_back(&night);
    const QString chart = HourglassChartPath(folder, {}, year);
    QString reason;
    if (!SaveHourglassChart(BuildHourglassGrid(ofYear, year), {}, chart, reason)) {
        error = QStringLiteral("%1 not written: %2").arg(chart, reason);
        return false;
    }
    return AddToMonthlyFile(folder, ComputeMonthlyStatistics(nights, cloudyAbovePercent), error);
}

}  // namespace noxa
