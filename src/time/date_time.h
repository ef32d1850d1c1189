#pragma once

#include <QDateTime>

namespace noxa {

// The station's date-time values are day numbers: whole days since 30 December 1899, the
// fraction being the time of day. They are taken from the local clock's date and time of day
// as they read, without any time-zone correction. This is the one conversion between them and
// Qt's date-times.
double ToDayNumber(const QDateTime& localDateTime);
// The date and time of day a day number stands for; an invalid date-time for a value that is
// not a number or lies thousands of years away.
QDateTime FromDayNumber(double dayNumber);

// The local date on which the night of `local` began: a night runs from local noon to local
// noon, so before noon it is the day before.
QDate NightOf(const QDateTime& local);

}  // namespace noxa
