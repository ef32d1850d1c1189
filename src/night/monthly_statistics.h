#pragma once

#include "night/night_sample.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace noxa {

// A record of a dark, clear sky: the Sun below -18°, the Moon below the horizon and the cloud
// cover known and no more than `cloudyAbovePercent`. A record without the Sun, the Moon or the
// cloud cover is not one.
bool IsDarkClear(const NightSample& sample, float cloudyAbovePercent);

// A value with the number of records it rests on.
struct CountedValue {
    std::optional<float> value;
    int records = 0;
};

// One instrument's month: the nights that began in it and its dark clear records.
struct MonthlyStatistics {
    std::string instrument;
    int year = 0, month = 0;
    int nights = 0;
    int darkClearRecords = 0;
    // Per channel, the median over the dark clear records that have a value.
    std::array<CountedValue, kNightChannels> median;
    // Blue minus red of those medians; it rests on the fewer of their records.
    CountedValue colourIndex;
};

// The months of the nights, in the order of their instruments, then of the months.
std::vector<MonthlyStatistics> ComputeMonthlyStatistics(const std::vector<Night>& nights,
                                                        float cloudyAbovePercent);

// "monthly.csv": a header line, then a line per instrument and month (LF line ends); a value
// that could not be found is left empty.
std::string MonthlyCsvHeader();
std::string MonthlyCsvLine(const MonthlyStatistics& month);
// Adds `lines` to the text of a monthly file: a month of the same instrument already there is
// replaced; lines are sorted by instrument and month, the header first.
std::string MergeMonthlyCsv(const std::string& existing, const std::vector<std::string>& lines);

}  // namespace noxa
