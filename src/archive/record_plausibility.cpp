#include "archive/record_plausibility.h"

#include <QString>

#include <array>
#include <cstring>

namespace noxa {
namespace {

// 2000-01-01T00:00:00Z: no record of the instrument can be older.
constexpr std::int64_t kEarliestMs = 946684800000;
// The longest record interval a station can be set to is 999 s; a minute more for a clock
// that was set while the interval ran.
constexpr std::int64_t kLongestIntervalMs = (999 + 60) * 1000;
constexpr qsizetype kMostNameCharacters = 64;

// What a measure can be at all, whatever the sky, the weather or the instrument.
struct Range {
    const char* key;
    double low, high;
};
constexpr std::array<Range, 15> kRanges{{
    // Nothing in the sky is brighter than the Sun's disc (about -10.7 mag/arcsec^2); a
    // covered sensor stays well short of 35.
    {"mag_v", -11, 35},
    {"mag_v2", -11, 35},
    {"mag_r", -11, 35},
    {"mag_g", -11, 35},
    {"mag_b", -11, 35},
    // The green channel's frequency is a difference and may be below 0.
    {"freq_v", -1e8, 1e8},
    {"freq_v2", -1e8, 1e8},
    {"freq_r", -1e8, 1e8},
    {"freq_g", -1e8, 1e8},
    {"freq_b", -1e8, 1e8},
    // What the sensors can report: the housing's sensor and the infrared sky sensor.
    {"temperature", -80, 125},
    {"sky_temperature", -100, 400},
    {"sun_altitude", -90, 90},
    {"moon_altitude", -90, 90},
    {"moon_illumination", 0, 1},
}};

const Range* RangeOf(const char* key) {
    for (const Range& range : kRanges)
        if (std::strcmp(range.key, key) == 0) return &range;
    return nullptr;
}

bool IsControl(QChar c) {
    return c.category() == QChar::Other_Control;
}

bool ValuesPossible(const ArchivedRecord& record) {
    for (std::size_t i = 0; i < kMeasureKeys.size(); ++i) {
        if (!record.measures[i]) continue;
        const double value = *record.measures[i];
        const Range* range = RangeOf(kMeasureKeys[i]);
        // NaN fails both comparisons.
        if (!(value == value) || (range && !(value >= range->low && value <= range->high)))
            return false;
    }
    return true;
}

}  // namespace

bool IsUsableLevel(QStringView level) {
    if (level.isEmpty() || level.size() > kMostNameCharacters || level == u"." || level == u"..")
        return false;
    for (const QChar c : level) {
        if (IsControl(c) || c == u'/' || c == u'+' || c == u'#') return false;
    }
    return true;
}

bool IsUsableDisplayName(QStringView name) {
    if (name.size() > kMostNameCharacters) return false;
    for (const QChar c : name)
        if (IsControl(c)) return false;
    return true;
}

std::string Shown(QStringView text) {
    QString shown = text.left(kMostNameCharacters).toString();
    for (QChar& c : shown)
        if (IsControl(c)) c = u'?';
    if (text.size() > kMostNameCharacters) shown += QStringLiteral("…");
    return shown.toStdString();
}

std::optional<Refusal> RefusalOf(const ArchivedRecord& record, std::int64_t nowMs) {
    if (!IsUsableLevel(record.station)) return Refusal::StationId;
    if (!IsUsableDisplayName(record.name)) return Refusal::StationName;
    if (record.end > nowMs + kMostAheadMs) return Refusal::EndAhead;
    if (record.start < kEarliestMs || record.end < kEarliestMs) return Refusal::TooEarly;
    if (record.start >= record.end) return Refusal::StartNotBeforeEnd;
    if (record.end - record.start > kLongestIntervalMs) return Refusal::IntervalTooLong;
    if (!ValuesPossible(record)) return Refusal::ImpossibleValue;
    return std::nullopt;
}

bool RefusedButLinked(Refusal refusal) {
    return refusal == Refusal::IntervalTooLong || refusal == Refusal::ImpossibleValue;
}

void DropNegativeZeros(ArchivedRecord& record) {
    for (std::optional<double>& measure : record.measures)
        if (measure && *measure == 0) measure = 0.0;
}

}  // namespace noxa
