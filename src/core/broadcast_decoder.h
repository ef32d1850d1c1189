#pragma once

#include "core/observation.h"

#include <string_view>

namespace noxa {

// The texts of a report that the window shows exactly as they came: views into the report,
// valid as long as it is.
struct ReceivedTexts {
    std::string_view magnitude1;
    std::string_view magnitude2, frequency2;
    std::string_view magnitudeR, frequencyR;  // channel 3
    std::string_view magnitudeB, frequencyB;  // channel 4
    std::string_view skyTemperature, sensorTemperature;
};

// One report cut into numbers, with the texts shown as received.
struct DecodedReport {
    // Every value of the report and the green channel derived from it, and whether all of them
    // are finite numbers. Time, source, station and the estimates are left to the caller.
    Observation observation;
    ReceivedTexts received;
};

// Cuts the instrument's report into readings. The report is compact JSON, but this is
// deliberately no JSON parser: it finds keys by plain substring search and takes values at
// fixed distances from them, exactly as the instrument's reports have always been read, and it
// never rejects a report.
DecodedReport DecodeBroadcast(std::string_view report);

}  // namespace noxa
