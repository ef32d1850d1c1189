#include "night/text_fields.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace noxa {
namespace {

// Plain decimals ("-12.34"), as the files hold them, read exactly: the digits as an integer
// divided by a power of ten, both exact in a double, so the one rounding is the division's.
bool ParsePlainDecimal(std::string_view text, float& value) {
    static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    size_t i = 0;
    const bool negative = !text.empty() && (text[0] == '-' || text[0] == '+') && text[i++] == '-';
    std::int64_t digits = 0;
    int count = 0, decimals = -1;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = digits * 10 + (c - '0');
            if (++count > 15) return false;
            if (decimals >= 0) ++decimals;
        } else if (c == '.' && decimals < 0) {
            decimals = 0;
        } else {
            return false;
        }
    }
    if (count == 0 || decimals > 9) return false;
    const double result = double(digits) / kPowers[std::max(decimals, 0)];
    value = float(negative ? -result : result);
    return true;
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(int year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

bool Digits(std::string_view text, size_t at, size_t count, int& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool ParseFloat(std::string_view text, float& value) {
    text = Trimmed(text);
    if (ParsePlainDecimal(text, value)) return true;
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

bool IsUnknownValue(std::string_view text) {
    constexpr std::string_view kUnknown = "unknown";
    text = Trimmed(text);
    return text.size() == kUnknown.size() &&
           std::equal(text.begin(), text.end(), kUnknown.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

bool ParseIsoTime(std::string_view text, UtcMilliseconds& ms) {
    text = Trimmed(text);
    int year, month, day, hour, minute, second;
    if (!Digits(text, 0, 4, year) || text.size() < 19 || text[4] != '-' ||
        !Digits(text, 5, 2, month) || text[7] != '-' || !Digits(text, 8, 2, day) ||
        (text[10] != 'T' && text[10] != ' ') || !Digits(text, 11, 2, hour) || text[13] != ':' ||
        !Digits(text, 14, 2, minute) || text[16] != ':' || !Digits(text, 17, 2, second))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return false;
    int fraction = 0;
    size_t end = 19;
    if (text.size() > 20 && text[19] == '.') {
        int digits = 0;
        for (end = 20; end < text.size() && text[end] >= '0' && text[end] <= '9'; ++end, ++digits)
            if (digits < 3) fraction = fraction * 10 + (text[end] - '0');
        for (; digits < 3; ++digits) fraction *= 10;
    }
    // Anything after the time: not a time of this kind (another separator, another layout).
    if (end != text.size()) return false;
    ms = ((DaysFromCivil(year, unsigned(month), unsigned(day)) * 24 + hour) * 60 + minute) *
             60000LL +
         second * 1000LL + fraction;
    return true;
}

}  // namespace noxa
