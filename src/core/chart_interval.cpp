#include "core/chart_interval.h"

#include "core/c_numbers.h"

namespace noxa {
namespace {

constexpr std::int32_t kMinChartInterval = 1;
constexpr std::int32_t kMaxChartInterval = 499;

}  // namespace

std::optional<std::int32_t> ChartIntervalSeconds(std::string_view text) {
    std::int32_t seconds = 0;
    if (!ParseStrictInt(text, seconds) || seconds < kMinChartInterval ||
        seconds > kMaxChartInterval) {
        return std::nullopt;
    }
    return seconds;
}

}  // namespace noxa
