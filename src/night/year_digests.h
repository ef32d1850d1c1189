#pragma once

#include "night/night_digest.h"

#include <QString>

#include <string>
#include <vector>

namespace noxa {

// What a folder of nights keeps of each instrument's year, so that the year's chart and months
// are drawn from all of its nights however few a run is given:
// <folder>/year-data/hourglass-<instrument>-<year>.bin beside the chart's name.
QString YearDigestsPath(const QString& folder, const std::string& instrument, int year);

// The digests kept at `path`, in date order; none when there is no such file. False, with what
// went wrong, when the file cannot be read or was not written by this program.
bool ReadYearDigests(const QString& path, std::vector<NightDigest>& digests, QString& error);

// Writes the digests as EncodeDigests made them (whole or not at all), making the folder.
bool WriteYearDigests(const QString& path, const QByteArray& encoded, QString& error);

// `kept` with `fresh` in the place of the nights of the same dates, in date order.
std::vector<NightDigest> MergeDigests(std::vector<NightDigest> kept,
                                      std::vector<NightDigest> fresh);

}  // namespace noxa
