#pragma once

#include "night/night_sample.h"

#include <array>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace noxa {

// The few numbers that sum up a night.
struct NightSummary {
    QDate date;
    std::string instrument;  // empty for the station's own
    // Per channel, the darkest (highest) median of ten minutes of records.
    std::array<std::optional<float>, kNightChannels> darkest;
    // Per channel, the median while the Sun is below -18° and the Moon below the horizon.
    std::array<std::optional<float>, kNightChannels> darkMedian;
    std::optional<float> cloudyShare;  // of the records, 0..1
    int records = 0;
};

NightSummary SummarizeNight(const Night& night, float cloudyAbovePercent);

// "night/summary.csv": a header line, then one line per night and instrument, in date order.
// Lines end in LF; a value that could not be found is left empty.
std::string SummaryCsvHeader();
std::string SummaryCsvLine(const NightSummary& summary);
// Adds `lines` (without their line ends) to the text of a summary file: a night of the same
// instrument already there is replaced, the lines are sorted by date and instrument, and the
// header is written first.
std::string MergeSummaryCsv(const std::string& existing, const std::vector<std::string>& lines);
// The nights of a summary file's text: their dates (yyyy-MM-dd) and instruments.
std::set<std::pair<std::string, std::string>> NightsOfSummary(const std::string& text);

}  // namespace noxa
