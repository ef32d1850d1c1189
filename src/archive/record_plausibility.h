#pragma once

#include "archive/archived_record.h"
#include "archive/refusal.h"

#include <QByteArray>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <string>

namespace noxa {

// How far ahead of the archive's clock a record may end: the stations' clocks are not set
// to the millisecond.
inline constexpr std::int64_t kMostAheadMs = 5 * 60 * 1000;

// The most bytes an honest payload of each kind takes, with room to spare.
inline constexpr qsizetype kMostRecordBytes = 16 * 1024;
inline constexpr qsizetype kMostStateBytes = 64 * 1024;
inline constexpr qsizetype kMostAvailabilityBytes = 64;

// A station id (the topic level) or an archive's name: 1 to 64 characters, none of them a
// control character or '/', '+', '#', and not "." or "..", so that it is one topic level and
// can name a file.
bool IsUsableLevel(QStringView level);
// A display name: at most 64 characters, no control characters.
bool IsUsableDisplayName(QStringView name);
// `text` cut to at most 64 characters, control characters as '?': safe for a log line.
std::string Shown(QStringView text);

// Why a readable record cannot be true at `nowMs` (the archive's clock); nothing when it can.
std::optional<Refusal> RefusalOf(const ArchivedRecord& record, std::int64_t nowMs);

// A refused record whose times can be true (only its values or its length are not) still
// links the station's chain: what follows it is confirmed, and the station does not send it
// again and again.
bool RefusedButLinked(Refusal refusal);

// A measure of -0 is stored as 0: the sign of nothing is no reading.
void DropNegativeZeros(ArchivedRecord& record);

}  // namespace noxa
