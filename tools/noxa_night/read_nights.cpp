#include "read_nights.h"

#include "messages.h"

#include "night/night_collection.h"
#include "night/night_files.h"

#include <QtConcurrent>

#include <atomic>
#include <map>
#include <string>

namespace {

using namespace noxa;

// What one file held, already split into nights.
struct FileNights {
    NightFileRecords records;  // without the samples
    std::vector<Night> nights;
};

FileNights ReadOne(const QString& path, const NightOptions& options, SkyNodes& sky) {
    FileNights file;
    NightFileRecords& records = file.records;
    records = ReadRecordsFile(path, options.dataTimes, &sky);
    if (options.place && !records.place) {
        records.place = options.place;
        AddSky(records.samples, *options.place, &sky);
    }
    if (options.zone) records.zone = *options.zone;
    file.nights = SplitIntoNights(std::move(records.samples), records.zone);
    records.samples.clear();
    for (Night& night : file.nights) night.instrument = records.instrument;
    return file;
}

// Says what a file's reading found amiss; true when it gave nothing.
bool ReportFile(const QString& path, const NightFileRecords& records) {
    if (records.skippedLines > 0)
        Say(QStringLiteral("%1: %2 lines not read").arg(path).arg(records.skippedLines));
    if (records.error.empty()) return false;
    Say(QStringLiteral("%1: %2").arg(path, QString::fromStdString(records.error)));
    return true;
}

// Each column left out, once, with the files that have it.
void ReportUnknownColumns(const std::map<std::string, QStringList>& unknown) {
    for (const auto& [column, files] : unknown) {
        const QString where =
            files.size() == 1
                ? files.front()
                : QStringLiteral("%1 and %2 more files").arg(files.front()).arg(files.size() - 1);
        Say(QStringLiteral("column \"%1\" not known, left out: %2")
                .arg(QString::fromStdString(column), where));
    }
}

}  // namespace

std::vector<Night> ReadNights(const NightOptions& options, Progress& bar, bool& failed) {
    std::atomic<int> read{0};
    SkyNodes sky;  // nights one after another share the Sun's and the Moon's nodes
    const auto readOne = [&](const QString& path) {
        FileNights file = ReadOne(path, options, sky);
        bar.Show("reading", ++read, int(options.files.size()));
        return file;
    };
    QList<FileNights> contents = QtConcurrent::blockingMapped(options.files, readOne);
    bar.End();

    NightCollection collection;
    std::map<std::string, QStringList> unknownColumns;
    bool missingPlace = false;
    for (qsizetype i = 0; i < options.files.size(); ++i) {
        const NightFileRecords& records = contents[i].records;
        if (ReportFile(options.files[i], records)) failed = true;
        for (const std::string& column : records.unknownColumns)
            unknownColumns[column].append(options.files[i]);
        if (!records.place && !contents[i].nights.empty()) missingPlace = true;
        collection.Add(std::move(contents[i].nights));
    }
    contents.clear();
    ReportUnknownColumns(unknownColumns);
    if (missingPlace)
        Say(
            QStringLiteral("files without the observer's place have no Sun or Moon: give --site "
                           "LAT,LON"));
    std::map<std::string, int> repeated;
    std::vector<Night> nights = collection.Take(repeated);
    for (const auto& [instrument, count] : repeated)
        Say(QStringLiteral("%1 records of %2 were given more than once: each counted once")
                .arg(count)
                .arg(QString::fromStdString(instrument)));
    return nights;
}
