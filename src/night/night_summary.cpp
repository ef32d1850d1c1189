#include "night/night_summary.h"

#include "core/median.h"

#include "core/c_numbers.h"
#include "core/night_summary_columns.h"
#include "night/text_fields.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <string_view>
#include <utility>

namespace noxa {
namespace {

constexpr UtcMilliseconds kTenMinutes = 600000;
constexpr float kAstronomicalNight = -18.f;
constexpr float kNauticalNight = -12.f;

std::string Field(const std::optional<float>& value, const char* format) {
    return value ? CFormat(format, *value) : std::string();
}

// How the channels are named in the columns' names, in the order of the night's arrays.
constexpr std::array<std::string_view, kNightChannels> kChannelKeys = {"740nm", "640nm", "red",
                                                                       "green", "blue",  "msas"};

// The value of the summary's column of that name.
std::string ColumnValue(const NightSummary& summary, std::string_view column) {
    if (column == "date") return summary.date.toString(Qt::ISODate).toStdString();
    if (column == "instrument") return summary.instrument;
    if (column == "cloudy_share") return Field(summary.cloudyShare, "%.3f");
    if (column == "records") return std::to_string(summary.records);
    for (size_t c = 0; c < kChannelKeys.size(); ++c) {
        const std::string_view key = kChannelKeys[c];
        if (column.starts_with("darkest_") && column.substr(8) == key)
            return Field(summary.darkest[c], "%.2f");
        if (column.starts_with("dark_") && column.substr(5) == key)
            return Field(summary.darkMedian[c], "%.2f");
    }
    return {};
}

constexpr size_t ColumnIndex(std::string_view name) {
    for (size_t i = 0; i < kNightSummaryColumns.size(); ++i)
        if (std::string_view(kNightSummaryColumns[i]) == name) return i;
    return kNightSummaryColumns.size();
}

// A summary line's night: its date and its instrument (none in lines written before there
// was that column).
std::pair<std::string, std::string> NightOfLine(std::string_view line) {
    constexpr size_t kInstrument = ColumnIndex("instrument");
    std::string_view fields[kNightSummaryColumns.size()];
    const size_t count = SplitFields(line, ',', fields, std::size(fields));
    return {std::string(fields[0]),
            std::string(count > kInstrument ? fields[kInstrument] : std::string_view())};
}

}  // namespace

NightSummary SummarizeNight(const Night& night, float cloudyAbovePercent) {
    NightSummary summary;
    summary.date = night.date;
    summary.instrument = night.instrument;
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
    std::string line;
    for (const char* column : kNightSummaryColumns)
        line += (line.empty() ? "" : ",") + ColumnValue(summary, column);
    return line;
}

std::string MergeSummaryCsv(const std::string& existing, const std::vector<std::string>& lines) {
    // Keyed by the date and the instrument, so a night summed up again replaces its line.
    std::map<std::pair<std::string, std::string>, std::string> byNight;
    const auto add = [&](const std::string& line) { byNight[NightOfLine(line)] = line; };
    std::istringstream in(existing);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() < 10 || line.starts_with("date,")) continue;
        add(line);
    }
    for (const std::string& line : lines) add(line);
    std::string text = SummaryCsvHeader() + "\n";
    for (const auto& [night, line] : byNight) text += line + "\n";
    return text;
}

}  // namespace noxa
