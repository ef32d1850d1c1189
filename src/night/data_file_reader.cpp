// The station's monthly data files read back: the station's name from the first header line,
// the columns' names from the third, then one tab-separated record a line in local time.

#include "night/night_columns.h"
#include "night/night_files.h"
#include "night/text_fields.h"
#include "recording/data_file.h"

#include <QFile>

#include <ctime>
#include <limits>

namespace noxa {
namespace {

NightColumns ColumnsOfLine(std::string_view namesLine) {
    std::vector<std::string_view> names(32);
    names.resize(SplitFields(namesLine, '\t', names.data(), names.size()));
    return PlaceColumns(names);
}

struct DataFileState {
    explicit DataFileState(const DataFileTimes& times)
        : times(times), columns(ColumnsOfLine(std::string_view(kDataFileColumnsLine).substr(1))) {}

    const DataFileTimes& times;
    NightColumns columns;  // the station's own layout until the header names the columns
    bool pastFirstLine = false;
    int unreadTimes = 0;
    QDate lastDate;  // the date of the line before, read once for a day's lines
    std::string lastDateText;
};

// One header line, without its "#".
void ReadHeaderEntry(std::string_view entry, DataFileState& state, NightFileRecords& out) {
    if (!state.pastFirstLine) {
        // "# <station>\t<the instrument constants>"
        out.instrument = std::string(Trimmed(entry.substr(0, entry.find('\t'))));
        return;
    }
    entry = Trimmed(entry);
    if (entry.starts_with("Date")) {
        NightColumns named = ColumnsOfLine(entry);
        // A header that names the date and the time alone keeps the station's layout.
        if (named.HasValues()) state.columns = std::move(named);
        out.unknownColumns = state.columns.unknown;
    }
}

bool ReadTime(std::string_view dateField, std::string_view timeField, DataFileState& state,
              UtcMilliseconds& time) {
    std::tm parts{};
    const std::string date(Trimmed(dateField)), clock(Trimmed(timeField));
    if (date != state.lastDateText) {
        const char* end = strptime(date.c_str(), state.times.datePattern.c_str(), &parts);
        state.lastDate = end && *end == '\0'
                             ? QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday)
                             : QDate();
        state.lastDateText = date;
    }
    parts = std::tm{};
    const char* end = strptime(clock.c_str(), state.times.timePattern.c_str(), &parts);
    if (!state.lastDate.isValid() || !end || *end != '\0') return false;
    time = QDateTime(state.lastDate, QTime(parts.tm_hour, parts.tm_min, parts.tm_sec),
                     state.times.zone)
               .toMSecsSinceEpoch();
    return true;
}

// One record line; false when its date, its time or all its values cannot be read.
bool ReadRecord(std::string_view line, DataFileState& state, NightSample& sample) {
    const NightColumns& columns = state.columns;
    std::string_view fields[32];
    const size_t count = SplitFields(line, '\t', fields, std::size(fields));
    if (columns.date < 0 || columns.time < 0 || size_t(columns.date) >= count ||
        size_t(columns.time) >= count ||
        !ReadTime(fields[columns.date], fields[columns.time], state, sample.time)) {
        ++state.unreadTimes;
        return false;
    }
    if (!ReadValues(columns, fields, count, sample)) return false;
    sample.sunAltitude = sample.moonAltitude = sample.moonIllumination =
        std::numeric_limits<float>::quiet_NaN();
    return true;
}

std::string NothingRead(const DataFileState& state, const NightFileRecords& out) {
    if (out.skippedLines == 0) return "no records";
    if (state.unreadTimes == out.skippedLines)
        return "no line's date and time could be read as " + state.times.datePattern + " " +
               state.times.timePattern;
    return "no line has a value that can be read (tab-separated columns, decimals with \".\")";
}

}  // namespace

NightFileRecords ReadDataFile(const QString& path, const std::string& datePattern,
                              const std::string& timePattern, const QTimeZone& zone) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        NightFileRecords out;
        out.error = file.errorString().toStdString();
        return out;
    }
    return ReadDataText(file.readAll(), datePattern, timePattern, zone);
}

NightFileRecords ReadDataText(const QByteArray& bytes, const std::string& datePattern,
                              const std::string& timePattern, const QTimeZone& zone) {
    const DataFileTimes times{datePattern, timePattern, zone};
    NightFileRecords out;
    out.zone = zone;
    DataFileState state(times);
    ForEachLine(bytes, [&](std::string_view line) {
        const std::string_view trimmed = Trimmed(line);
        if (trimmed.empty()) return;
        if (trimmed.front() == '#') {
            ReadHeaderEntry(trimmed.substr(1), state, out);
        } else {
            NightSample sample;
            if (ReadRecord(line, state, sample)) {
                out.samples.push_back(sample);
            } else {
                ++out.skippedLines;
            }
        }
        state.pastFirstLine = true;
    });
    if (out.samples.empty()) out.error = NothingRead(state, out);
    return out;
}

}  // namespace noxa
