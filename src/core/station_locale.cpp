#include "core/station_locale.h"

#include <clocale>
#include <ctime>
#include <utility>

namespace noxa {
namespace {

std::string Strftime(const std::string& pattern, const std::tm& fields) {
    char buffer[128];
    const std::size_t n = std::strftime(buffer, sizeof buffer, pattern.c_str(), &fields);
    return std::string(buffer, n);
}

}  // namespace

StationLocale::StationLocale(std::string datePattern, std::string timePattern,
                             std::string separator)
    : datePattern_(std::move(datePattern)),
      timePattern_(std::move(timePattern)),
      decimalSeparator_(std::move(separator)) {}

StationLocale StationLocale::FromProcess() {
    const std::lconv* conventions = std::localeconv();
    std::string separator = conventions && conventions->decimal_point && *conventions->decimal_point
                                ? conventions->decimal_point
                                : ".";
    return StationLocale("%x", "%X", std::move(separator));
}

StationLocale StationLocale::Fixed(std::string shortDatePattern, std::string longTimePattern,
                                   std::string decimalSeparator) {
    return StationLocale(std::move(shortDatePattern), std::move(longTimePattern),
                         std::move(decimalSeparator));
}

std::string StationLocale::ShortDate(const QDate& date) const {
    if (!date.isValid()) return {};
    std::tm fields{};
    fields.tm_year = date.year() - 1900;
    fields.tm_mon = date.month() - 1;
    fields.tm_mday = date.day();
    fields.tm_wday = date.dayOfWeek() % 7;
    fields.tm_yday = date.dayOfYear() - 1;
    fields.tm_isdst = -1;
    return Strftime(datePattern_, fields);
}

std::string StationLocale::LongTime(const QTime& time) const {
    if (!time.isValid()) return {};
    std::tm fields{};
    fields.tm_hour = time.hour();
    fields.tm_min = time.minute();
    fields.tm_sec = time.second();
    fields.tm_mday = 1;
    fields.tm_isdst = -1;
    return Strftime(timePattern_, fields);
}

}  // namespace noxa
