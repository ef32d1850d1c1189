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

// The dark records of one instrument's month, gathered night by night.
struct MonthRecords {
    int nights = 0;
    std::vector<const DarkRecord*> dark;
};

ClearRule RuleOf(const std::vector<const DarkRecord*>& dark) {
    if (dark.empty()) return ClearRule::None;
    const auto any = [&](auto test) { return std::any_of(dark.begin(), dark.end(), test); };
    if (any([](const DarkRecord* r) { return !std::isnan(r->cloudCover); }))
        return ClearRule::CloudCover;
    if (any([](const DarkRecord* r) { return r->steady; })) return ClearRule::Steadiness;
    return ClearRule::DarkOnly;
}

bool Counts(const DarkRecord& record, ClearRule rule, float cloudyAbovePercent) {
    switch (rule) {
        case ClearRule::CloudCover:
            return record.cloudCover <= cloudyAbovePercent;  // false for NaN
        case ClearRule::Steadiness:
            return record.steady;
        case ClearRule::DarkOnly:
            return true;
        case ClearRule::None:
            break;
    }
    return false;
}

MonthlyStatistics Finish(const std::string& instrument, QDate first, const MonthRecords& records,
                         float cloudyAbovePercent) {
    MonthlyStatistics month;
    month.instrument = instrument;
    month.year = first.year();
    month.month = first.month();
    month.nights = records.nights;
    month.darkRecords = int(records.dark.size());
    month.rule = RuleOf(records.dark);
    std::array<std::vector<float>, kNightChannels> values;
    for (const DarkRecord* record : records.dark) {
        if (!Counts(*record, month.rule, cloudyAbovePercent)) continue;
        ++month.darkClearRecords;
        for (size_t c = 0; c < kNightChannels; ++c)
            if (record->mag[c] > 0) values[c].push_back(record->mag[c]);
    }
    for (size_t c = 0; c < kNightChannels; ++c) {
        month.median[c].records = int(values[c].size());
        month.median[c].value = Median(values[c]);
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

const char* ClearRuleName(ClearRule rule) {
    switch (rule) {
        case ClearRule::CloudCover:
            return "cloud";
        case ClearRule::Steadiness:
            return "steady";
        case ClearRule::DarkOnly:
            return "dark";
        case ClearRule::None:
            break;
    }
    return "";
}

std::vector<MonthlyStatistics> ComputeMonthlyStatistics(
    const std::string& instrument, const std::vector<const NightDigest*>& nights,
    float cloudyAbovePercent) {
    std::map<QDate, MonthRecords> months;
    for (const NightDigest* night : nights) {
        MonthRecords& month = months[QDate(night->Date().year(), night->Date().month(), 1)];
        ++month.nights;
        for (const DarkRecord& record : night->dark) month.dark.push_back(&record);
    }
    std::vector<MonthlyStatistics> statistics;
    statistics.reserve(months.size());
    for (const auto& [first, records] : months)
        statistics.push_back(Finish(instrument, first, records, cloudyAbovePercent));
    return statistics;
}

std::vector<MonthlyStatistics> ComputeMonthlyStatistics(const std::vector<Night>& nights,
                                                        float cloudyAbovePercent) {
    std::map<std::string, std::vector<NightDigest>> byInstrument;
    for (const Night& night : nights) byInstrument[night.instrument].push_back(DigestNight(night));
    std::vector<MonthlyStatistics> statistics;
    for (const auto& [instrument, digests] : byInstrument) {
        std::vector<const NightDigest*> pointers;
        for (const NightDigest& digest : digests) pointers.push_back(&digest);
        for (MonthlyStatistics& month :
             ComputeMonthlyStatistics(instrument, pointers, cloudyAbovePercent))
            statistics.push_back(std::move(month));
    }
    return statistics;
}

std::string MonthlyCsvHeader() {
    std::string header = "instrument,month,nights,dark_clear_records";
    for (const std::string_view key : kChannelKeys)
        header += ",median_" + std::string(key) + ",records_" + std::string(key);
    return header + ",blue_minus_red,records_blue_minus_red,median_rule,dark_records";
}

std::string MonthlyCsvLine(const MonthlyStatistics& month) {
    const QDate first(month.year, month.month, 1);
    std::string line = month.instrument + ',' + first.toString(u"yyyy-MM").toStdString() + ',' +
                       std::to_string(month.nights) + ',' + std::to_string(month.darkClearRecords);
    for (const CountedValue& median : month.median)
        line += ',' + Field(median.value) + ',' + std::to_string(median.records);
    return line + ',' + Field(month.colourIndex.value) + ',' +
           std::to_string(month.colourIndex.records) + ',' + ClearRuleName(month.rule) + ',' +
           std::to_string(month.darkRecords);
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
