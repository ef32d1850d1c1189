#pragma once

#include "night_options.h"
#include "progress.h"

#include "night/night_sample.h"

#include <vector>

// Reads every file (in parallel) and puts their nights together, one per instrument and night.
// Says on standard error what could not be read, which columns were left out and which records
// were given more than once; `failed` is set when a file gave no values.
std::vector<noxa::Night> ReadNights(const NightOptions& options, Progress& bar, bool& failed);
