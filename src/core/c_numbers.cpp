#include "core/c_numbers.h"

#include <locale.h>

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <system_error>

namespace noxa {
namespace {

locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Full strtod on a NUL-terminated copy; used for the rare forms the fast path leaves out.
double SlowAtof(std::string_view text, bool& read) {
    const std::string copy(text);
    char* end = nullptr;
    const double value = strtod_l(copy.c_str(), &end, CLocale());
    read = end != copy.c_str();
    return value;
}

// Skips leading white space and one sign, as atof and atol do; returns the index after them.
std::size_t SkipBlanksAndSign(std::string_view text, bool& negative) {
    std::size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return i;
}

// Plain decimals ("21.34", "0.525", "1234") of at most 15 digits, the form of nearly every
// number in a report: the digits make an integer below 2^53 and the decimals a power of ten
// that doubles hold exactly, so one division rounds correctly, as strtod does. Anything else
// (exponents, more digits, inf, nan) returns false and goes the long way.
bool ParsePlainDecimal(std::string_view text, std::size_t i, double& value) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    std::uint64_t digits = 0;
    int count = 0;
    int decimals = -1;  // digits after the point; -1 before a point
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (++count > 15) return false;
            digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
            if (decimals >= 0) ++decimals;
        } else if (c == '.' && decimals < 0) {
            decimals = 0;
        } else if (c == 'e' || c == 'E') {
            return false;
        } else {
            break;
        }
    }
    if (count == 0) return false;
    value = static_cast<double>(digits) / kPowersOfTen[decimals < 0 ? 0 : decimals];
    return true;
}

}  // namespace

double CAtof(std::string_view text) {
    bool read = false;
    return CAtof(text, read);
}

double CAtof(std::string_view text, bool& read) {
    read = false;
    bool negative;
    std::size_t i = SkipBlanksAndSign(text, negative);
    if (i >= text.size()) return 0.0;
    const char first = text[i];
    // from_chars would take a second sign; strtod takes none.
    if (first == '+' || first == '-') return 0.0;
    // Hexadecimal numbers are rare enough to go through strtod.
    if (first == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        return SlowAtof(text, read);
    }
    double value = 0.0;
    if (ParsePlainDecimal(text, i, value)) {
        read = true;
        return negative ? -value : value;
    }
    const auto [end, error] = std::from_chars(text.data() + i, text.data() + text.size(), value,
                                              std::chars_format::general);
    (void)end;
    if (error == std::errc::invalid_argument) return 0.0;
    if (error == std::errc::result_out_of_range) return SlowAtof(text, read);
    read = true;
    return negative ? -value : value;
}

std::int64_t CAtol(std::string_view text) {
    bool negative;
    std::size_t i = SkipBlanksAndSign(text, negative);
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;  // accumulated as a negative number, which reaches kMin
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (value < (kMin + digit) / 10) return negative ? kMin : kMax;
        value = value * 10 - digit;
    }
    if (negative) return value;
    return value == kMin ? kMax : -value;
}

std::int32_t CAtoi32(std::string_view text) {
    const std::int64_t v = CAtol(text);
    if (v > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (v < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

bool ParseStrictInt(std::string_view text, std::int32_t& value) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    std::size_t j = text.size();
    while (j > i && text[j - 1] == ' ') --j;
    std::string_view digits = text.substr(i, j - i);
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    if (digits.empty() || digits.front() == '+') return false;
    std::int32_t parsed = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed);
    if (error != std::errc() || end != digits.data() + digits.size()) return false;
    value = parsed;
    return true;
}

std::string CFormat(const char* format, double value) {
    const locale_t previous = uselocale(CLocale());
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, format, value);
    std::string out;
    if (n >= 0 && static_cast<std::size_t>(n) < sizeof buffer) {
        out.assign(buffer, static_cast<std::size_t>(n));
    } else if (n >= 0) {
        out.resize(static_cast<std::size_t>(n) + 1);
        std::snprintf(out.data(), out.size(), format, value);
        out.resize(static_cast<std::size_t>(n));
    }
    uselocale(previous);
    return out;
}

}  // namespace noxa
