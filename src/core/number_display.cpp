#include "core/number_display.h"

#include "core/station_locale.h"

#include <charconv>
#include <cmath>
#include <iterator>

namespace noxa {

std::string FormatRounded(double value, int decimals, const StationLocale& locale) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";

    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    const double scale = decimals >= 0 && decimals < static_cast<int>(std::size(kPowersOfTen))
                             ? kPowersOfTen[decimals]
                             : std::pow(10.0, decimals);
    const double scaled = value * scale;
    // Beyond 2^53 every double is already a whole number of steps.
    const double rounded = std::fabs(scaled) < 9007199254740992.0 && std::isfinite(scaled)
                               ? std::nearbyint(scaled) / scale
                               : value;

    char buffer[40];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, rounded + 0.0,
                                      std::chars_format::general, 15);
    std::string text(buffer, result.ptr);
    const std::string& separator = locale.DecimalSeparator();
    if (separator != ".") {
        const auto dot = text.find('.');
        if (dot != std::string::npos) text.replace(dot, 1, separator);
    }
    return text;
}

}  // namespace noxa
