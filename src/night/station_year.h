#pragma once

#include "night/night_files.h"
#include "night/night_sample.h"
#include "time/sun_moon.h"

#include <QString>

#include <string>
#include <vector>

namespace noxa {

// Where the station keeps its own records of a year: its night files when it writes them, else
// its months' data files.
struct StationYearSources {
    QString nightFileFolder;  // the night files' folder ("ida/"); empty when none are written
    QString dataFileFolder;   // with the data files <station>_MM_YYYY.csv; empty: the current one
    std::string stationName;
    DataFileTimes dataTimes;
    ObserverPlace place;  // for records that come without the Sun and the Moon
};

// The station's nights that began in `year`, read back from its files, in date order; each of
// `newest` (nights still in memory, whose files may lag behind) takes the place of the night of
// its date. Files that cannot be read are left out.
std::vector<Night> ReadStationYear(const StationYearSources& sources, int year,
                                   std::vector<Night> newest);

// Draws the station's chart of `year` into `folder` (hourglass-<year>.png) and puts the year's
// months into the folder's monthly.csv. On failure returns false with what went wrong.
bool WriteStationYear(const std::vector<Night>& nights, int year, const QString& folder,
                      float cloudyAbovePercent, QString& error);

}  // namespace noxa
