#pragma once

#include "night_options.h"

#include "night/night_digest.h"
#include "night/night_sample.h"

#include <string>
#include <vector>

// One instrument's year as the output folder kept it and as this run's nights give it.
struct YearData {
    std::string instrument;
    int year = 0;
    std::vector<noxa::NightDigest> kept;   // from the folder's year-data
    std::vector<noxa::NightDigest> fresh;  // of this run's nights, in date order
    bool readable = true;                  // false: the kept data could not be read
};

// The years the nights fall in, with the folder's kept data of each (read in parallel) and the
// digests of the nights. Says on standard error which kept data could not be read.
// `chartCurrent` tells, for each night, whether its chart in the folder shows the same records
// already, so that it need not be drawn again. The digests keep the hash of the records their
// chart shows: without charts, that of the chart drawn before (0 for none).
std::vector<YearData> GatherYears(const std::vector<noxa::Night>& nights,
                                  const NightOptions& options, std::vector<bool>& chartCurrent);
