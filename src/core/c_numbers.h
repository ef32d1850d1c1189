#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Number conversions of the C library in the "C" locale, whatever locale the process runs in.
// Instrument reports and the configuration record always use "." as the decimal point, while
// Qt switches the process to the user's locale at start-up.
namespace noxa {

// atof: leading white space, an optional sign, then the longest number that fits (decimal,
// exponent, hexadecimal, inf, nan). 0 when the text does not begin with a number.
double CAtof(std::string_view text);

// CAtof, saying in `read` whether the text began with a number at all: atof gives 0 for text
// that holds none, as for "0".
double CAtof(std::string_view text, bool& read);

// atol: leading white space, an optional sign and decimal digits; 0 without digits.
// Saturates at the limits of a 64-bit integer instead of overflowing.
std::int64_t CAtol(std::string_view text);

// atol narrowed to a 32-bit integer, saturating at its limits.
std::int32_t CAtoi32(std::string_view text);

// Strict integer conversion: optional blanks, an optional sign and decimal digits, nothing
// else. Returns false (and leaves `value`) when the text is not such an integer or does not fit.
bool ParseStrictInt(std::string_view text, std::int32_t& value);

// printf of one double in the "C" locale, e.g. CFormat("%07.1f", 1234.5) == "01234.5".
std::string CFormat(const char* format, double value);

}  // namespace noxa
