#pragma once

#include <QByteArray>

namespace noxa {

// The nights of "night/summary.csv" as the JSON of "/api/nights": an array of objects, newest
// night first, keyed by the file's column names ("date", "darkest_740nm" … "dark_blue",
// "cloudy_share", "records", "instrument", "darkest_msas", "dark_msas"); a value left empty in
// the file is null, and a line written before the last columns existed gives the first 13. A
// line that is not a night (the header, a wrong number of fields, no valid date, a field that is
// no number) is left out. `limit` > 0 keeps only the newest `limit` nights.
QByteArray NightsJson(const QByteArray& csv, int limit = 0);

}  // namespace noxa
