#pragma once

#include <QByteArray>
#include <QString>

namespace noxa {

// The months of "night/monthly.csv" as the JSON of "/api/monthly": an array of objects in the
// file's order, keyed by the names of its header line ("instrument", "month", "nights",
// "dark_clear_records", "median_740nm", "records_740nm" … "blue_minus_red"); "instrument" and
// "month" are texts, the rest numbers, and a value left empty in the file is null. A line that
// is not a month (a wrong number of fields, no valid month, a field that is no number) is left
// out; a text without the header gives [].
QByteArray MonthlyJson(const QByteArray& csv);

// The file's header line and as many of its last lines as a reply may carry, whole lines only;
// empty when it cannot be read.
QByteArray ReadMonthlyFile(const QString& fileName);

}  // namespace noxa
