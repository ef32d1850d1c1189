#pragma once

#include "core/readings.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace noxa {

// The measured values of a record, in the order of kMeasureKeys; each null when unknown.
inline constexpr auto kMeasureKeys = RecordMeasureKeys();
// The report counts, in this order.
inline constexpr auto kReportKeys = RecordCountKeys();

// One record as a station published it, times in milliseconds UTC.
struct ArchivedRecord {
    QString station;  // the station id: the topic level
    QString name;     // the station's display name
    std::int64_t start = 0, end = 0;
    std::optional<std::int64_t> previousEnd;
    std::array<std::optional<double>, kMeasureKeys.size()> measures;
    std::array<std::int64_t, kReportKeys.size()> reports{};
};

}  // namespace noxa
