#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace noxa {

// What the user chose for the charts: the seconds between chart points, typed into ETiempo as
// a whole number from 1 to 499. The settings page's edit pushes into it.
struct ChartSettings {
    // None while the text typed is no such number (a number out of range included).
    std::optional<std::int32_t> seconds = 60;
    // The text typed, when it gave no seconds: it is named when the charts cannot start.
    std::string refusedText;
};

// The chart settings a text typed into ETiempo gives.
ChartSettings ChartSettingsFromText(std::string_view text);

}  // namespace noxa
