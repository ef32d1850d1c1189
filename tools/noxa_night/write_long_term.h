#pragma once

#include "night_options.h"
#include "progress.h"

#include "night/night_sample.h"

#include <vector>

// Draws the year's chart of each instrument and year (in parallel, unless charts are left out)
// and adds the instruments' months to the folder's monthly.csv. Says on standard error what
// could not be written: false when monthly.csv could not be, `failed` set when a chart could
// not be.
bool WriteLongTerm(const std::vector<noxa::Night>& nights, const NightOptions& options,
                   Progress& bar, bool& failed);
