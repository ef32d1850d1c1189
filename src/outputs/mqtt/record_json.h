#pragma once

#include "core/observation.h"
#include "time/sun_moon.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>

namespace noxa {

// A data-file record as the archives read it: one JSON object on "<prefix>/record" with every
// key always present and null for what is unknown. Times are UTC with milliseconds and "Z".

// "2026-12-07T21:01:00.000Z"; and back, nothing for anything else.
QString UtcText(UtcMilliseconds time);
std::optional<UtcMilliseconds> ParseUtc(const QString& text);

// The record's JSON, compact, on one line. `station` is the station's name as configured
// (UTF-8, or Latin-1 from an older file); `sky` the Sun and the Moon at the record's end;
// `previousEnd` the end of the record published just before, none for the first.
QByteArray RecordJson(const IntervalRecord& record, const std::string& station, const SunMoon& sky,
                      std::optional<UtcMilliseconds> previousEnd);

// What the station needs to know of a record's JSON again (read back from its journal).
struct RecordChain {
    UtcMilliseconds end = 0;
    std::optional<UtcMilliseconds> previousEnd;
};
std::optional<RecordChain> ReadRecordChain(const QByteArray& json);

// The same record with "previous_end" null: an archive may start its chain there.
QByteArray WithoutPreviousEnd(const QByteArray& json);

// An archive's retained confirmation: {"through": <end>|null, "newest": <end>|null}.
struct ArchiveConfirmation {
    std::optional<UtcMilliseconds> through, newest;
    bool operator==(const ArchiveConfirmation&) const = default;
};
// Nothing when the payload is no such object.
std::optional<ArchiveConfirmation> ParseConfirmation(const QByteArray& payload);

}  // namespace noxa
