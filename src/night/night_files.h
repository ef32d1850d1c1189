#pragma once

#include "night/night_sample.h"
#include "time/sun_moon.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace noxa {

// What a file held: its records in file order, with the place and the time zone its header
// named, if any.
struct NightFileRecords {
    std::vector<NightSample> samples;
    std::optional<ObserverPlace> place;
    QTimeZone zone;
    std::string error;  // why the file could not be read; empty when it was
    int skippedLines = 0;
};

// Reads a night file of the skyglow format, as the station writes it or as other loggers do
// (any number of channels; the first MSAS column is the first channel).
NightFileRecords ReadNightFile(const QString& path);
NightFileRecords ReadNightText(const QByteArray& bytes);
// Reads a month's data file of the station. `datePattern` and `timePattern` are the strptime
// layouts of its date and time columns (the station writes them with the same strftime
// patterns, "%x" and "%X" of the locale by default); the times are local in `zone`. The file
// carries no Sun, Moon or place: AddSky fills them in.
NightFileRecords ReadDataFile(const QString& path, const std::string& datePattern,
                              const std::string& timePattern, const QTimeZone& zone);
NightFileRecords ReadDataText(const QByteArray& bytes, const std::string& datePattern,
                              const std::string& timePattern, const QTimeZone& zone);

// Fills in the Sun, the Moon and the cloud cover of every sample at `place`.
void AddSky(std::vector<NightSample>& samples, const ObserverPlace& place);

// Sorts samples into nights, local noon to local noon in `zone`, each night's samples in time
// order; the nights are in date order.
std::vector<Night> SplitIntoNights(std::vector<NightSample> samples, const QTimeZone& zone);

}  // namespace noxa
