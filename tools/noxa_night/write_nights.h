#pragma once

#include "night_options.h"
#include "progress.h"

#include "night/night_sample.h"

#include <vector>

// Draws each night's chart (in parallel; not those whose `chartCurrent` is true: the folder's
// chart shows the same records) and adds the nights' lines to the folder's summary.
// Says on standard error what could not be written: false when the summary could not be, and
// `failed` set when a chart could not be.
bool WriteNights(const std::vector<noxa::Night>& nights, const std::vector<bool>& chartCurrent,
                 const NightOptions& options, Progress& bar, bool& failed);
