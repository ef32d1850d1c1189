#pragma once

#include <string_view>

namespace noxa {

// The instrument's text ends at its first zero byte; whatever follows is buffer left-overs.
std::string_view UpToFirstZero(std::string_view text);

// A report is the station's own when it contains the station name. An empty name matches
// nothing, so a station without a name accepts no report.
bool NamesStation(std::string_view report, std::string_view stationName);

}  // namespace noxa
