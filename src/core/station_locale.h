#pragma once

#include <QDateTime>

#include <string>

namespace noxa {

// The user's conventions for what the station shows and writes: the short date and long time
// layouts (strftime patterns, "%x" and "%X" by default, which carry no time-zone name) and the
// decimal separator of displayed numbers. Built from the process locale by default; tests
// inject fixed layouts.
class StationLocale {
public:
    // The process locale as it stands (Qt has applied the user's locale by the time the
    // station is built).
    static StationLocale FromProcess();
    // Fixed layouts, independent of the process locale.
    static StationLocale Fixed(std::string shortDatePattern, std::string longTimePattern,
                               std::string decimalSeparator);

    std::string ShortDate(const QDate& date) const;
    std::string LongTime(const QTime& time) const;
    const std::string& DecimalSeparator() const { return decimalSeparator_; }
    // The strftime patterns themselves, for reading the dates and times back.
    const std::string& DatePattern() const { return datePattern_; }
    const std::string& TimePattern() const { return timePattern_; }

private:
    StationLocale(std::string datePattern, std::string timePattern, std::string separator);
    std::string datePattern_;
    std::string timePattern_;
    std::string decimalSeparator_;
};

}  // namespace noxa
