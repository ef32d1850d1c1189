#include "core/chart_settings.h"

#include "core/c_numbers.h"

namespace noxa {
namespace {

constexpr std::int32_t kMinChartInterval = 1;
constexpr std::int32_t kMaxChartInterval = 499;

}  // namespace

ChartSettings ChartSettingsFromText(std::string_view text) {
    std::int32_t seconds = 0;
    if (!ParseStrictInt(text, seconds) || seconds < kMinChartInterval ||
        seconds > kMaxChartInterval) {
        return ChartSettings{std::nullopt, std::string(text)};
    }
    return ChartSettings{seconds, {}};
}

}  // namespace noxa
