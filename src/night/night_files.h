#pragma once

#include "night/night_sample.h"
#include "night/sky_nodes.h"
#include "time/sun_moon.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace noxa {

// What a file held: its records in file order, with the place, the time zone and the
// instrument its header named, if any.
struct NightFileRecords {
    std::vector<NightSample> samples;
    std::optional<ObserverPlace> place;
    QTimeZone zone;
    std::string instrument;
    // Why the file could not be read, or that it gave no values; empty when it was read.
    std::string error;
    // Lines without a time or without any value that could be read.
    int skippedLines = 0;
    // Names of columns the header gives but the reader does not know: those are left out.
    std::vector<std::string> unknownColumns;
};

// Reads a night file of the skyglow format, as the station writes it or as other loggers do.
// Columns are taken by their names in the header: MSAS1, MSAS2, MSASR, MSASG and MSASB are the
// station's channels, a single-channel logger's MSAS its own channel.
// The Sun and the Moon, for a file that gives its place but not them, are taken from `sky`'s
// nodes when given one, so that files read side by side share them.
NightFileRecords ReadNightFile(const QString& path);
NightFileRecords ReadNightText(const QByteArray& bytes, SkyNodes* sky = nullptr);

// How a month's data file of the station gives its times: `datePattern` and `timePattern` are
// the strptime layouts of its date and time columns (the station writes them with the same
// strftime patterns, "%x" and "%X" of the locale by default); the times are local in `zone`.
struct DataFileTimes {
    std::string datePattern;
    std::string timePattern;
    QTimeZone zone;
};

// Reads a month's data file of the station, its columns by the names of its third header line
// (the station's own layout when the file names none). The file carries no Sun, Moon or place:
// AddSky fills them in.
NightFileRecords ReadDataFile(const QString& path, const std::string& datePattern,
                              const std::string& timePattern, const QTimeZone& zone);
NightFileRecords ReadDataText(const QByteArray& bytes, const std::string& datePattern,
                              const std::string& timePattern, const QTimeZone& zone);

// Reads a night file or a data file, whichever the file's first line shows it to be. A file
// whose header names no instrument is known by its name (a data file's without the month).
NightFileRecords ReadRecordsFile(const QString& path, const DataFileTimes& dataTimes,
                                 SkyNodes* sky = nullptr);

// The instrument's name as it goes into file names and the summary: letters, digits, ".", "_"
// and "-" kept, anything else made "-"; a name longer than kLongestInstrumentLabel keeps its
// start and ends in "-" and eight hex digits of its hash, so that the files' names stay short
// enough for any file system and different names stay apart.
inline constexpr size_t kLongestInstrumentLabel = 100;
std::string InstrumentLabel(std::string_view name);

// Fills in the Sun, the Moon and the cloud cover of every sample at `place`; the exact positions
// it takes them between are kept in `nodes` when given, for other calls to use again.
void AddSky(std::vector<NightSample>& samples, const ObserverPlace& place,
            SkyNodes* nodes = nullptr);

// Sorts samples into nights, local noon to local noon in `zone`, each night's samples in time
// order; the nights are in date order.
std::vector<Night> SplitIntoNights(std::vector<NightSample> samples, const QTimeZone& zone);

}  // namespace noxa
