#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace noxa {

class FormModel;
enum class FormText : std::uint8_t;
class StationLocale;
struct LiveReadings;
struct DayTables;

// Whether the record interval in Esalto has passed by saveTicks.
bool RecordIsDue(const LiveReadings& readings, const FormModel& form);

// Says whether a data-file line is due now (the record interval in Esalto has passed by
// saveTicks). A due record restarts saveTicks; the result is true only when saving to file is
// switched on (CBGuardar), so the caller then writes the line.
bool ClaimRecordIfDue(LiveReadings& readings, const FormModel& form);

// Cuts the instrument's report into readings. The report is compact JSON, but the decoder is
// deliberately no JSON parser: it finds keys by plain substring search and takes values at
// fixed distances from them, exactly as the instrument's reports have always been read, and it
// never rejects a report. A report with a value that is no finite number is shown but left
// out of the interval sums.
class BroadcastDecoder {
public:
    BroadcastDecoder(FormModel& form, LiveReadings& readings, const DayTables& days,
                     const StationLocale& locale, std::function<void()> writeDataLine);

    void DecodeBroadcast(std::string_view report);

private:
    // Channels 2 to 4 show their magnitude and frequency texts as received. Returns the
    // channel's text.
    std::string_view DecodeRawChannel(std::string_view report, std::string_view key,
                                      FormText magnitudeLabel, FormText frequencyLabel,
                                      float& magnitude, float& zeroPoint, float& frequency);

    FormModel& form_;
    LiveReadings& readings_;
    const DayTables& days_;
    const StationLocale& locale_;
    std::function<void()> writeDataLine_;
    // A report left out of the sums was logged in this record interval.
    bool nonFiniteSaid_ = false;
};

}  // namespace noxa
