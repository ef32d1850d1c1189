#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace noxa {

// The chart interval as typed into ETiempo: a whole number of seconds from 1 to 499. Any
// other text, a number out of that range included, gives nothing.
std::optional<std::int32_t> ChartIntervalSeconds(std::string_view text);

}  // namespace noxa
