#include "core/station_log.h"

#include <array>

namespace noxa {
namespace {

constexpr std::array<std::string_view, 4> kLevelNames{"error", "warning", "info", "debug"};

}  // namespace

std::string_view LevelName(LogLevel level) {
    return kLevelNames.at(static_cast<std::size_t>(level));
}

bool ParseLevel(std::string_view name, LogLevel& level) {
    for (std::size_t i = 0; i < kLevelNames.size(); ++i) {
        if (kLevelNames[i] != name) continue;
        level = static_cast<LogLevel>(i);
        return true;
    }
    return false;
}

}  // namespace noxa
