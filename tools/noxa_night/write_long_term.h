#pragma once

#include "night_options.h"
#include "progress.h"
#include "year_data.h"

#include <vector>

// Puts each year's nights of this run into the folder's kept data of the year (year-data/), and
// from all of the year's nights draws its chart, when it changed (in parallel, unless charts
// are left out), and writes its months into the folder's monthly.csv. Says on standard error
// what could not be written: false when monthly.csv could not be, `failed` set when a year's
// chart or data could not be.
bool WriteLongTerm(std::vector<YearData>& years, const NightOptions& options, Progress& bar,
                   bool& failed);
