#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace noxa {

// The measured values of a record, in the order of kMeasureKeys; each null when unknown.
inline constexpr std::array<const char*, 15> kMeasureKeys{
    "mag_v",       "mag_v2",          "mag_r",        "mag_g",         "mag_b",
    "freq_v",      "freq_v2",         "freq_r",       "freq_g",        "freq_b",
    "temperature", "sky_temperature", "sun_altitude", "moon_altitude", "moon_illumination"};
// The report counts, in this order.
inline constexpr std::array<const char*, 4> kReportKeys{"reports", "reports_r", "reports_g",
                                                        "reports_b"};

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
