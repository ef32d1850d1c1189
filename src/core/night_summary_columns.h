#pragma once

#include <array>
#include <cstddef>

namespace noxa {

// The columns of "night/summary.csv", in their order: the station writes the file, the web
// server reads it back. Columns are only ever added at the end: lines written before
// "instrument" and the single-channel loggers' brightness were added hold the first 13.
inline constexpr std::array<const char*, 16> kNightSummaryColumns = {
    "date",       "darkest_740nm", "darkest_640nm", "darkest_red", "darkest_green", "darkest_blue",
    "dark_740nm", "dark_640nm",    "dark_red",      "dark_green",  "dark_blue",     "cloudy_share",
    "records",    "instrument",    "darkest_msas",  "dark_msas",
};
inline constexpr std::size_t kNightSummaryFirstColumns = 13;

}  // namespace noxa
