#pragma once

#include <array>
#include <cstddef>

namespace noxa {

// Why a message from the network is not stored. The kinds are few and fixed: they name the
// metric's label and the log line, whatever the sender makes up.
enum class Refusal {
    TooLarge,     // the payload is larger than any honest one
    StationId,    // the topic level cannot name a station
    StationName,  // the display name is too long or holds control characters
    EndAhead,     // the end is ahead of the archive's clock
    TooEarly,     // start or end before the instrument could exist
    StartNotBeforeEnd,
    IntervalTooLong,  // longer than any record interval a station allows
    ImpossibleValue,  // a measure no sky or sensor gives
};
inline constexpr int kRefusalKinds = 8;

// "end_ahead", "impossible_value", …: the metric's label.
inline const char* RefusalLabel(Refusal refusal) {
    static constexpr std::array<const char*, kRefusalKinds> kLabels{
        "too_large", "station_id",           "station_name",      "end_ahead",
        "too_early", "start_not_before_end", "interval_too_long", "impossible_value"};
    return kLabels[static_cast<std::size_t>(refusal)];
}

// In words, for the log.
inline const char* RefusalText(Refusal refusal) {
    static constexpr std::array<const char*, kRefusalKinds> kTexts{
        "the payload is too large",
        "the station id is no usable topic level",
        "the station's name is too long or holds control characters",
        "it ends more than 5 minutes ahead of the archive's clock",
        "it starts or ends before 2000",
        "its start is not before its end",
        "its interval is longer than any record interval",
        "it holds a value no sky or sensor gives"};
    return kTexts[static_cast<std::size_t>(refusal)];
}

}  // namespace noxa
