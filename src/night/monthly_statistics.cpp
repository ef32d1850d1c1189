#include "night/monthly_statistics.h"

#include "core/median.h"

#include "core/c_numbers.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <string_view>
#include <utility>

namespace noxa {
namespace {

constexpr float kAstronomicalNight = -18.f;
constexpr size_t kRed = 2, kBlue = 4;

// How the channels are named in the columns' names, in the order of the nights' arrays.
constexpr std::array<std::string_view, kNightChannels> kChannelKeys = {"740nm", "640nm", "red",
                                                                       "green", "blue",  "msas"};

// The records of one instrument's month, gathered night by night.
struct MonthRecords {
    int nights = 0;
    int darkClear = 0;
    std::array<std::vector<float>, kNightChannels> values;
};

MonthlyStatistics Finish(const std::pair<std::string, QDate>& key, MonthRecords& records) {
    MonthlyStatistics month;
    month.instrument = key.first;
    month.year = key.second.year();
    month.month = key.second.month();
    month.nights = records.nights;
    month.darkClearRecords = records.darkClear;
    for (size_t c = 0; c < kNightChannels; ++c) {
        month.median[c].records = int(records.values[c].size());
        month.median[c].value = Median(records.values[c]);
    }
    const CountedValue &red = month.median[kRed], &blue = month.median[kBlue];
    if (red.value && blue.value) {
        month.colourIndex.value = *blue.value - *red.value;
        month.colourIndex.records = std::min(red.records, blue.records);
    }
    return month;
}

std::string Field(const std::optional<float>& value) {
    return value ? CFormat("%.2f", *value) : std::string();
}

// The key of a line: its instrument and month, the first two fields.
std::string KeyOfLine(const std::string& line) {
    const size_t first = line.find(',');
    return first == std::string::npos ? line : line.substr(0, line.find(',', first + 1));
}

}  // namespace

bool IsDarkClear(const NightSample& sample, float cloudyAbovePercent) {
    return sample.sunAltitude < kAstronomicalNight && sample.moonAltitude < 0 &&
           sample.cloudCover <= cloudyAbovePercent;  // false for any NaN
}

std::vector<MonthlyStatistics> ComputeMonthlyStatistics(const std::vector<Night>& nights,
                                                        float cloudyAbovePercent) {
    std::map<std::pair<std::string, QDate>, MonthRecords> months;
    for (const Night& night : nights) {
        MonthRecords& month =
            months[{night.instrument, QDate(night.date.year(), night.date.month(), 1)}];
        ++month.nights;
        for (const NightSample& sample : night.samples) {
            if (!IsDarkClear(sample, cloudyAbovePercent)) continue;
            ++month.darkClear;
            for (size_t c = 0; c < kNightChannels; ++c)
                if (sample.mag[c] > 0) month.values[c].push_back(sample.mag[c]);
        }
    }
    std::vector<MonthlyStatistics> statistics;
    statistics.reserve(months.size());
    for (auto& [key, records] : months) statistics.push_back(Finish(key, records));
    return statistics;
}

std::string MonthlyCsvHeader() {
    std::string header = "instrument,month,nights,dark_clear_records";
    for (const std::string_view key : kChannelKeys)
        header += ",median_" + std::string(key) + ",records_" + std::string(key);
    return header + ",blue_minus_red,records_blue_minus_red";
}

std::string MonthlyCsvLine(const MonthlyStatistics& month) {
    const QDate first(month.year, month.month, 1);
    std::string line = month.instrument + ',' + first.toString(u"yyyy-MM").toStdString() + ',' +
                       std::to_string(month.nights) + ',' + std::to_string(month.darkClearRecords);
    for (const CountedValue& median : month.median)
        line += ',' + Field(median.value) + ',' + std::to_string(median.records);
    return line + ',' + Field(month.colourIndex.value) + ',' +
           std::to_string(month.colourIndex.records);
}

std::string MergeMonthlyCsv(const std::string& existing, const std::vector<std::string>& lines) {
    std::map<std::string, std::string> byMonth;
    std::istringstream in(existing);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.starts_with("instrument,")) continue;
        byMonth[KeyOfLine(line)] = line;
    }
    for (const std::string& line : lines) byMonth[KeyOfLine(line)] = line;
    std::string text = MonthlyCsvHeader() + "\n";
    for (const auto& [key, line] : byMonth) text += line + "\n";
    return text;
}

}  // namespace noxa
