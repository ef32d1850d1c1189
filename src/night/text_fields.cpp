#include "night/text_fields.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace noxa {
namespace {

bool Digits(std::string_view text, size_t at, size_t count, int& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// A plain decimal of up to 15 digits ("-12.34"), as from_chars reads it: the digits and the
// power of ten are exact doubles, their quotient is rounded once to a double, and a double
// rounded to a float then is the float nearest the decimal (a double has more than twice a
// float's digits). Anything else is left to from_chars.
bool ParseShortDecimal(std::string_view text, float& value) {
    static constexpr double kTens[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    std::uint64_t digits = 0;
    int count = 0, decimals = -1;
    for (const char c : text) {
        if (c == '.' && decimals < 0 && count > 0) {
            decimals = 0;
            continue;
        }
        if (c < '0' || c > '9' || ++count > 15) return false;
        digits = digits * 10 + std::uint64_t(c - '0');
        if (decimals >= 0) ++decimals;
    }
    if (count == 0 || decimals == 0) return false;
    const double quotient = double(digits) / kTens[std::max(decimals, 0)];
    value = float(negative ? -quotient : quotient);
    return true;
}

}  // namespace

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

size_t CountLineEnds(const QByteArray& bytes) {
    size_t count = 0;
    const char* end = bytes.constData() + bytes.size();
    for (const char* at = bytes.constData(); at < end; ++count) {
        at = static_cast<const char*>(std::memchr(at, '\n', size_t(end - at)));
        if (!at) break;
        ++at;
    }
    return count;
}

bool ParseFloat(std::string_view text, float& value) {
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (ParseShortDecimal(text, value)) return true;
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
    const std::chrono::sys_days date{std::chrono::year{year} / month / day};
    ms = std::chrono::milliseconds{date.time_since_epoch()}.count() +
         ((hour * 60LL + minute) * 60 + second) * 1000 + fraction;
    return true;
}

}  // namespace noxa
