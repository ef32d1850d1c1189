#pragma once

#include "night/night_digest.h"
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

// How a month's dark records were judged clear: by the cloud cover (known for some of them),
// else by the sky's own steadiness, else not at all (all dark records, cloud not known).
enum class ClearRule { None, CloudCover, Steadiness, DarkOnly };

// The rule's name in monthly.csv: "cloud", "steady", "dark" (empty for a month without dark
// records).
const char* ClearRuleName(ClearRule rule);

// One instrument's month: the nights that began in it and its dark clear records.
struct MonthlyStatistics {
    std::string instrument;
    int year = 0, month = 0;
    int nights = 0;
    int darkClearRecords = 0;  // the records the medians rest on, by `rule`
    ClearRule rule = ClearRule::None;
    int darkRecords = 0;  // Sun and Moon down, cloudy or not
    // Per channel, the median over the dark clear records that have a value.
    std::array<CountedValue, kNightChannels> median;
    // Blue minus red of those medians; it rests on the fewer of their records.
    CountedValue colourIndex;
};

// The months of the nights, in the order of their instruments, then of the months.
std::vector<MonthlyStatistics> ComputeMonthlyStatistics(const std::vector<Night>& nights,
                                                        float cloudyAbovePercent);
// The months of one instrument's nights, from their digests, in order.
std::vector<MonthlyStatistics> ComputeMonthlyStatistics(
    const std::string& instrument, const std::vector<const NightDigest*>& nights,
    float cloudyAbovePercent);

// "monthly.csv": a header line, then a line per instrument and month (LF line ends); a value
// that could not be found is left empty.
std::string MonthlyCsvHeader();
std::string MonthlyCsvLine(const MonthlyStatistics& month);
// Adds `lines` to the text of a monthly file: a month of the same instrument already there is
// replaced; lines are sorted by instrument and month, the header first.
std::string MergeMonthlyCsv(const std::string& existing, const std::vector<std::string>& lines);

}  // namespace noxa
