#pragma once

#include "core/sky_quality.h"

#include <array>
#include <cstdint>
#include <string>

namespace noxa {

class FormModel;
class StationLocale;
struct DayTables;
struct DaySlot;
struct DecodedReport;

// The sky-quality estimates shown with every report, from the newest chart point's means.
struct ShownEstimates : ChartEstimates {
    std::string nelmText, cloudIndexText;
};

// Shows each decoded report in the window: the reading labels, the estimates of the newest
// chart point and the reception indicator.
class ReadingsPresenter {
public:
    ReadingsPresenter(FormModel& form, const DayTables& days, const StationLocale& locale);

    // Writes the report's labels and the estimates' and turns the reception indicator gray; a
    // report left out of the sums is said in the log, once a record interval. Returns the
    // estimates shown.
    const ShownEstimates& Present(const DecodedReport& report);

    // A new record interval began: a report left out of the sums is said again.
    void StartRecordInterval() { nonFiniteSaid_ = false; }

private:
    // NELM and the cloud index change only with the newest chart point: they are worked out
    // again only when its means change.
    const ShownEstimates& Estimates(const DaySlot& newest);

    FormModel& form_;
    const DayTables& days_;
    const StationLocale& locale_;
    // A report left out of the sums was said in this record interval.
    bool nonFiniteSaid_ = false;
    // The bits of the means the estimates were worked out from, once they were.
    bool estimated_ = false;
    std::array<std::uint32_t, 3> estimatedFrom_{};
    ShownEstimates estimates_;
};

}  // namespace noxa
