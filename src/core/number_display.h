#pragma once

#include <string>

namespace noxa {

class StationLocale;

// The station's one rule for showing a number: rounded to a multiple of 10^-decimals with ties
// to even on the scaled value, then written with up to 15 significant digits, no trailing
// zeros and the locale's decimal separator (20.50 -> "20.5", 25.00 -> "25").
// A value too large to scale is shown unrounded; non-finite values show as NAN, INF, -INF.
std::string FormatRounded(double value, int decimals, const StationLocale& locale);

}  // namespace noxa
