#include "time/date_time.h"

#include <cmath>

namespace noxa {
namespace {

constexpr double kMillisecondsPerDay = 86400000.0;

QDate Epoch() {
    return QDate(1899, 12, 30);
}

}  // namespace

double ToDayNumber(const QDateTime& localDateTime) {
    const double days = static_cast<double>(Epoch().daysTo(localDateTime.date()));
    return days + localDateTime.time().msecsSinceStartOfDay() / kMillisecondsPerDay;
}

QDateTime FromDayNumber(double dayNumber) {
    // A damaged history can hold anything; a day number beyond a few thousand years stands for
    // no date at all.
    if (!std::isfinite(dayNumber) || std::fabs(dayNumber) > 3e6) return QDateTime();
    const double whole = std::floor(dayNumber);
    qint64 milliseconds = std::llround((dayNumber - whole) * kMillisecondsPerDay);
    qint64 days = static_cast<qint64>(whole);
    if (milliseconds >= static_cast<qint64>(kMillisecondsPerDay)) {
        milliseconds -= static_cast<qint64>(kMillisecondsPerDay);
        ++days;
    }
    // Marked as UTC only so that no daylight-saving rule moves the fields.
    return QDateTime(Epoch().addDays(days),
                     QTime::fromMSecsSinceStartOfDay(static_cast<int>(milliseconds)), Qt::UTC);
}

QDate NightOf(const QDateTime& local) {
    return local.time().hour() < 12 ? local.date().addDays(-1) : local.date();
}

}  // namespace noxa
