#pragma once

#include "core/observation.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace noxa {

// A channel's texts as they came; none for the derived green.
struct ReceivedChannel {
    std::string_view mag, freq;
};

// The texts of a report that the window shows exactly as they came: views into the report,
// valid as long as it is.
struct ReceivedTexts {
    std::array<ReceivedChannel, kChannelCount> channels;
    std::string_view skyTemperature, sensorTemperature;

    const ReceivedChannel& operator[](ChannelId id) const {
        return channels[static_cast<std::size_t>(id)];
    }
};

// One report cut into numbers, with the texts shown as received.
struct DecodedReport {
    // Every value of the report and the green channel derived from it, as the window and the
    // station's files have always read them (a text that is no number reads as 0), and whether
    // all of them are finite numbers. Time, source, station and the estimates are left to the
    // caller.
    Observation observation;
    ReceivedTexts received;
    // The readings whose key is missing or whose text is no number, as `Bit`s of `Reading`:
    // unknown to every output but the window and the files.
    std::uint32_t unread = 0;
};

// Cuts the instrument's report into readings. The report is compact JSON, but this is
// deliberately no JSON parser: it finds keys by plain substring search and takes values at
// fixed distances from them, exactly as the instrument's reports have always been read, and it
// never rejects a report.
DecodedReport DecodeBroadcast(std::string_view report);

}  // namespace noxa
