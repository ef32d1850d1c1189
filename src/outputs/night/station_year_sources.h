#pragma once

#include "core/output.h"
#include "night/station_year.h"

#include <functional>

namespace noxa {

// Where the station's records of a year lie at the time of asking: its night files while they
// are written, else its data files.
std::function<StationYearSources()> StationYearSourcesOf(const OutputContext& context);

}  // namespace noxa
