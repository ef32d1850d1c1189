#pragma once

#include "night/monthly_statistics.h"

#include <QString>

#include <vector>

namespace noxa {

// <folder>/monthly.csv
QString MonthlyFilePath(const QString& folder);

// Adds the months to the folder's monthly.csv (MergeMonthlyCsv), replacing the file whole. On
// failure returns false with what went wrong, naming the file, in `error`.
bool AddToMonthlyFile(const QString& folder, const std::vector<MonthlyStatistics>& months,
                      QString& error);

}  // namespace noxa
