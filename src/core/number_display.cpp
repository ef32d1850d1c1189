#include "core/number_display.h"

#include "core/station_locale.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>

namespace noxa {

namespace {

constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};

// The whole number of steps `steps` written with `decimals` digits after the point, trailing
// zeros dropped. For fewer than 10^15 steps of at least 10^-4 this is what the general format
// of the nearest double with 15 significant digits gives, since 15 digits survive the way
// through a double unchanged.
std::string WriteSteps(std::int64_t steps, int decimals, const std::string& separator) {
    char digits[24];
    const bool negative = steps < 0;
    std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(steps) : static_cast<std::uint64_t>(steps);
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0 || count <= decimals);  // at least one digit before the point
    // Trailing zeros of the decimals are not written.
    int shown = decimals;
    int first = 0;
    while (shown > 0 && digits[first] == '0') {
        ++first;
        --shown;
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(count) + separator.size() + 1);
    if (negative) text += '-';
    for (int i = count - 1; i >= decimals; --i) text += digits[i];
    if (shown > 0) {
        text += separator;
        for (int i = decimals - 1; i >= first; --i) text += digits[i];
    }
    return text;
}

}  // namespace

std::string FormatRounded(double value, int decimals, const StationLocale& locale) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";

    const double scale = decimals >= 0 && decimals < static_cast<int>(std::size(kPowersOfTen))
                             ? kPowersOfTen[decimals]
                             : std::pow(10.0, decimals);
    const double scaled = value * scale;
    // Up to 4 decimals the general format never turns to an exponent below 10^15.
    if (decimals >= 0 && decimals <= 4 && std::fabs(scaled) < 1e15) {
        const auto steps = static_cast<std::int64_t>(std::nearbyint(scaled));
        return WriteSteps(steps, decimals, locale.DecimalSeparator());
    }
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
