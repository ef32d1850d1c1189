#pragma once

#include "night/hourglass_grid.h"
#include "night/night_sample.h"

#include <QByteArray>

#include <array>
#include <optional>
#include <vector>

namespace noxa {

// A record of the dark sky (Sun below -18°, Moon below the horizon), as the months need it.
struct DarkRecord {
    std::array<float, kNightChannels> mag{};  // 0 or less: no reading
    float cloudCover = 0;                     // %, NaN when not known
    // The sky brightness hardly changed around the record: clear, as the sky's own steadiness
    // tells when no cloud cover is known.
    bool steady = false;
};

// What the year's views need of one night, kept so that a later run that is given only a few
// nights draws the year from all of them: the night's column of the year's chart and its dark
// records.
struct NightDigest {
    HourglassColumn column;  // with the night's date
    std::vector<DarkRecord> dark;
    // A hash of the night's records and zone: the night's chart need not be drawn again while
    // it stays the same.
    quint64 recordsHash = 0;

    QDate Date() const { return column.date; }
};

// The brightness spread (standard deviation) over the minutes around a record up to which it
// counts as steady, and those minutes.
inline constexpr float kSteadySpread = 0.05f;
inline constexpr int kSteadyWindowMinutes = 30;

NightDigest DigestNight(const Night& night, const HourglassLayout& layout = {});

// The hash of what the night's chart shows: its records, zone and instrument.
quint64 RecordsHash(const Night& night);

// For each record of the night, whether its channel's brightness (740 nm, or the logger's own)
// spread by at most kSteadySpread over the kSteadyWindowMinutes around it, with at least five
// records there.
std::vector<bool> SteadyRecords(const Night& night);

// The digests of one instrument's year as bytes, and back; nothing from bytes that are not
// such a text or were kept for another layout.
QByteArray EncodeDigests(const std::vector<NightDigest>& nights, const HourglassLayout& layout);
std::optional<std::vector<NightDigest>> DecodeDigests(const QByteArray& bytes,
                                                      const HourglassLayout& layout);

}  // namespace noxa
