// Night files of the skyglow format read back: the header's place, zone, instrument and column
// names, then one record a line, its fields separated by ";".

#include "night/night_columns.h"
#include "night/night_files.h"
#include "night/text_fields.h"

#include <QFile>

#include <algorithm>
#include <cmath>

namespace noxa {
namespace {

// What the header has told so far.
struct NightFileHeader {
    NightColumns columns;
    bool haveColumns = false;
    std::string previousEntry;
    std::optional<int> offsetSeconds;  // local time less UTC, from the first record
};

std::optional<ObserverPlace> PlaceOf(std::string_view position) {
    const size_t colon = position.find(':');
    std::string_view numbers[3];
    float lat, lon;
    if (colon == std::string_view::npos ||
        SplitFields(position.substr(colon + 1), ',', numbers, 3) < 2 ||
        !ParseFloat(numbers[0], lat) || !ParseFloat(numbers[1], lon) || std::abs(lat) > 90 ||
        std::abs(lon) > 360)
        return std::nullopt;
    return ObserverPlace{lat, lon};
}

// One header line, without its "#".
void ReadHeaderEntry(std::string_view entry, NightFileHeader& header, NightFileRecords& out) {
    const auto value = [&](std::string_view key) -> std::optional<std::string_view> {
        if (!entry.starts_with(key)) return std::nullopt;
        return Trimmed(entry.substr(key.size()));
    };
    if (entry.starts_with("Position")) {
        if (const auto place = PlaceOf(entry)) out.place = place;
    } else if (const auto zone = value("Local timezone:")) {
        const QTimeZone named(QByteArray(zone->data(), qsizetype(zone->size())));
        if (named.isValid()) out.zone = named;
    } else if (const auto id = value("Instrument ID:")) {
        out.instrument = std::string(*id);
    } else if (entry.starts_with("YYYY-") && !header.previousEntry.empty()) {
        // The units line: the line before it names the columns.
        std::vector<std::string_view> names(64);
        names.resize(
            SplitFields(std::string_view(header.previousEntry), ',', names.data(), names.size()));
        header.columns = PlaceColumns(names);
        header.haveColumns = true;
        out.unknownColumns = header.columns.unknown;
    }
    header.previousEntry = std::string(entry);
}

// One record line; false when it has no time or no value that can be read.
bool ReadRecord(std::string_view line, NightFileHeader& header, NightSample& sample) {
    const NightColumns& columns = header.columns;
    std::string_view fields[64];
    const size_t count = SplitFields(line, ';', fields, std::size(fields));
    if (!header.haveColumns || columns.utc < 0 || size_t(columns.utc) >= count ||
        !ParseIsoTime(fields[columns.utc], sample.time) ||
        !ReadValues(columns, fields, count, sample))
        return false;
    if (!header.offsetSeconds && columns.local >= 0 && size_t(columns.local) < count) {
        UtcMilliseconds local;
        if (ParseIsoTime(fields[columns.local], local))
            header.offsetSeconds = int((local - sample.time) / 1000);
    }
    return true;
}

// Why nothing was read, when nothing was.
std::string NothingRead(const NightFileHeader& header, const NightFileRecords& out) {
    if (!header.haveColumns) return "no column names before the end of the header";
    if (header.columns.utc < 0) return "its header names no \"UTC Date & Time\" column";
    if (!header.columns.HasValues())
        return "its header names no column of sky brightness or temperature";
    if (out.skippedLines == 0) return "no records";
    return "no line has a time and a value that can be read (fields separated by \";\", "
           "decimals with \".\")";
}

}  // namespace

NightFileRecords ReadNightFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        NightFileRecords out;
        out.error = file.errorString().toStdString();
        return out;
    }
    return ReadNightText(file.readAll());
}

NightFileRecords ReadNightText(const QByteArray& bytes, SkyNodes* sky) {
    NightFileRecords out;
    NightFileHeader header;
    out.samples.reserve(CountLineEnds(bytes) + 1);
    ForEachLine(bytes, [&](std::string_view line) {
        if (Trimmed(line).empty()) return;
        if (line.front() == '#') return ReadHeaderEntry(Trimmed(line.substr(1)), header, out);
        NightSample sample;
        if (ReadRecord(line, header, sample)) {
            out.samples.push_back(sample);
        } else {
            ++out.skippedLines;
        }
    });
    if (out.samples.empty()) out.error = NothingRead(header, out);
    // A zone the system does not know: the offset between the first line's two times.
    if (!out.zone.isValid()) out.zone = QTimeZone(header.offsetSeconds.value_or(0));
    const bool needSky = std::any_of(out.samples.begin(), out.samples.end(), [](const auto& s) {
        return !std::isfinite(s.sunAltitude) || !std::isfinite(s.moonAltitude) ||
               !std::isfinite(s.moonIllumination);
    });
    if (needSky && out.place) AddSky(out.samples, *out.place, sky);
    return out;
}

}  // namespace noxa
