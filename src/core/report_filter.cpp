#include "core/report_filter.h"

namespace noxa {

std::string_view UpToFirstZero(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

bool NamesStation(std::string_view report, std::string_view stationName) {
    return !stationName.empty() && report.find(stationName) != std::string_view::npos;
}

}  // namespace noxa
