#pragma once

#include "core/observation.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace noxa {

class FormModel;
enum class FormText : std::uint8_t;
class StationLocale;
struct LiveReadings;
struct DayTables;
struct DaySlot;

// Cuts the instrument's report into readings. The report is compact JSON, but the decoder is
// deliberately no JSON parser: it finds keys by plain substring search and takes values at
// fixed distances from them, exactly as the instrument's reports have always been read, and it
// never rejects a report. A report with a value that is no finite number is shown but left
// out of the interval sums.
class BroadcastDecoder {
public:
    BroadcastDecoder(FormModel& form, LiveReadings& readings, const DayTables& days,
                     const StationLocale& locale);

    // Shows the report and adds it to the sums. Returns it as numbers; the caller stamps its
    // time and source.
    const Observation& DecodeBroadcast(std::string_view report);

    // A new record interval began: a report that is left out of the sums is logged again.
    void StartRecordInterval() { nonFiniteSaid_ = false; }

private:
    // Channels 2 to 4 show their magnitude and frequency texts as received. Returns the
    // channel's text.
    std::string_view DecodeRawChannel(std::string_view report, std::string_view key,
                                      FormText magnitudeLabel, FormText frequencyLabel,
                                      float& magnitude, float& zeroPoint, float& frequency);

    // NELM and the cloud index change only with the newest chart point: their texts are
    // worked out again only when its means change.
    struct Estimates {
        bool valid = false;
        std::array<std::uint32_t, 3> means{};
        float nelmValue = 0, cloudValue = 0;
        std::string nelm, cloudIndex;
    };
    const Estimates& EstimateTexts(const DaySlot& newest);

    FormModel& form_;
    LiveReadings& readings_;
    const DayTables& days_;
    const StationLocale& locale_;
    // A report left out of the sums was logged in this record interval.
    bool nonFiniteSaid_ = false;
    Estimates estimates_;
    Observation latest_;
};

}  // namespace noxa
