#include "night/night_summary.h"

#include "core/c_numbers.h"
#include "core/night_summary_columns.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

namespace noxa {
namespace {

constexpr UtcMilliseconds kTenMinutes = 600000;
constexpr float kAstronomicalNight = -18.f;
constexpr float kNauticalNight = -12.f;

std::optional<float> Median(std::vector<float>& values) {
    if (values.empty()) return std::nullopt;
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + middle, values.end());
    float median = values[middle];
    if (values.size() % 2 == 0) {
        median = (median + *std::max_element(values.begin(), values.begin() + middle)) / 2;
    }
    return median;
}

std::string Field(const std::optional<float>& value, const char* format) {
    return value ? CFormat(format, *value) : std::string();
}

}  // namespace

NightSummary SummarizeNight(const Night& night, float cloudyAbovePercent) {
    NightSummary summary;
    summary.date = night.date;
    summary.records = int(night.samples.size());
    for (int c = 0; c < kNightChannels; ++c) {
        // Medians of the records in each ten minutes of the clock; the darkest is the highest.
        std::vector<float> bin, dark;
        UtcMilliseconds binStart = 0;
        const auto closeBin = [&] {
            if (const auto median = Median(bin))
                summary.darkest[c] = std::max(summary.darkest[c].value_or(*median), *median);
            bin.clear();
        };
        for (const NightSample& sample : night.samples) {
            const float mag = sample.mag[c];
            if (!(mag > 0)) continue;
            const UtcMilliseconds start = sample.time - sample.time % kTenMinutes;
            if (start != binStart) closeBin();
            binStart = start;
            bin.push_back(mag);
            if (sample.sunAltitude < kAstronomicalNight && sample.moonAltitude < 0)
                dark.push_back(mag);
        }
        closeBin();
        summary.darkMedian[c] = Median(dark);
    }
    int known = 0, cloudy = 0;
    for (const NightSample& sample : night.samples) {
        if (!(sample.sunAltitude < kNauticalNight) || !std::isfinite(sample.cloudCover)) continue;
        ++known;
        if (sample.cloudCover > cloudyAbovePercent) ++cloudy;
    }
    if (known > 0) summary.cloudyShare = float(cloudy) / float(known);
    return summary;
}

std::string SummaryCsvHeader() {
    std::string header;
    for (const char* column : kNightSummaryColumns)
        header += (header.empty() ? "" : ",") + std::string(column);
    return header;
}

std::string SummaryCsvLine(const NightSummary& summary) {
    std::string line = summary.date.toString(Qt::ISODate).toStdString();
    for (const auto& value : summary.darkest) line += "," + Field(value, "%.2f");
    for (const auto& value : summary.darkMedian) line += "," + Field(value, "%.2f");
    line += "," + Field(summary.cloudyShare, "%.3f");
    line += "," + std::to_string(summary.records);
    return line;
}

std::string MergeSummaryCsv(const std::string& existing, const std::vector<std::string>& lines) {
    // Keyed by the date, so a night summed up again replaces its line.
    std::map<std::string, std::string> byDate;
    std::istringstream in(existing);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() < 10 || line.starts_with("date,")) continue;
        byDate[line.substr(0, line.find(','))] = line;
    }
    for (const std::string& line : lines) byDate[line.substr(0, line.find(','))] = line;
    std::string text = SummaryCsvHeader() + "\n";
    for (const auto& [date, line] : byDate) text += line + "\n";
    return text;
}

}  // namespace noxa
