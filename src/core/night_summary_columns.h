#pragma once

#include <array>

namespace noxa {

// The columns of "night/summary.csv", in their order: the station writes the file, the web
// server reads it back.
inline constexpr std::array<const char*, 13> kNightSummaryColumns = {
    "date",         "darkest_740nm", "darkest_640nm", "darkest_red", "darkest_green",
    "darkest_blue", "dark_740nm",    "dark_640nm",    "dark_red",    "dark_green",
    "dark_blue",    "cloudy_share",  "records",
};

}  // namespace noxa
