#include "core/foreign_stations.h"

#include <algorithm>

namespace noxa {

std::optional<std::string_view> ReportName(std::string_view report) {
    constexpr std::string_view kKey = "\"name\"";
    std::size_t at = report.find(kKey);
    if (at == std::string_view::npos) return std::nullopt;
    at = report.find_first_not_of(" \t", at + kKey.size());
    if (at == std::string_view::npos || report[at] != ':') return std::nullopt;
    at = report.find_first_not_of(" \t", at + 1);
    if (at == std::string_view::npos || report[at] != '"') return std::nullopt;
    const std::size_t end = report.find('"', at + 1);
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view name = report.substr(at + 1, end - at - 1);
    const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && c != 0x7f && c != '\\';
    });
    if (name.empty() || name.size() > ForeignStations::kMaxNameLength || !plain) {
        return std::nullopt;
    }
    return name;
}

std::optional<std::string> ForeignStations::Notice(std::string_view report,
                                                   std::string_view stationName, std::int64_t now) {
    const std::optional<std::string_view> name = ReportName(report);
    if (!name) return std::nullopt;
    const auto known = lastHeard_.find(*name);
    if (known != lastHeard_.end()) {
        const bool wasQuiet = now - known->second >= kQuietMilliseconds;
        known->second = now;
        if (!wasQuiet) return std::nullopt;
    } else {
        if (lastHeard_.size() >= kMaxNames) ForgetQuietNames(now);
        if (lastHeard_.size() >= kMaxNames) return std::nullopt;
        lastHeard_.emplace(*name, now);
    }
    return "Reports from station \"" + std::string(*name) + "\" ignored: this station is \"" +
           std::string(stationName) + "\"";
}

void ForeignStations::ForgetQuietNames(std::int64_t now) {
    std::erase_if(lastHeard_,
                  [now](const auto& entry) { return now - entry.second >= kQuietMilliseconds; });
}

}  // namespace noxa
