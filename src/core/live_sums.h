#pragma once

#include "core/observation.h"

#include <array>
#include <cstdint>
#include <optional>

namespace noxa {

struct DecodedReport;

// Chart-interval sums: averaged into the newest day slot at every chart point.
struct ChartSums {
    float count = 0;  // reports in the sums
    std::array<float, kChannelCount> mag{};
    float sensorTemperature = 0, skyTemperature = 0;
    // When the first report in the sums was decoded; none while they are empty.
    std::optional<UtcMilliseconds> firstReport;
    // The readings of which a report in the sums held no number (summed as 0), as `Bit`s.
    std::uint32_t unread = 0;
};

// Record-interval sums: averaged into one data-file line.
struct RecordSums {
    float count = 0;  // reports in the sums, of every channel
    std::array<float, kChannelCount> mag{}, freq{};
    std::uint32_t unread = 0;
};

// What the station keeps of the reports between chart points and records: the values of the
// latest report, the two sets of sums and how many ticks passed since the instrument was last
// heard. Each operation has one caller: the report handler adds reports, the chart point and
// the recorder each take their sums, the heartbeat ticks.
class LiveSums {
public:
    // A decoded report, taken at `time`: its values become the latest, it is added to both sets
    // of sums when it is counted (every value a finite number: one that is not would turn every
    // mean of the interval into one), and the silence count starts again.
    void AddReport(const DecodedReport& report, UtcMilliseconds time);
    // The sums of the chart interval that ends now; the next one starts empty.
    ChartSums TakeChartSums();
    // The sums of the record interval that ends now; the next one starts empty.
    RecordSums TakeRecordSums();
    // Once a second; returns the ticks since the last report or serial frame start.
    std::int32_t Tick() { return ++ticksSinceReport_; }
    // A serial frame started, or a silence was declared: the count starts again.
    void RestartSilence() { ticksSinceReport_ = 0; }

    std::int32_t TicksSinceReport() const { return ticksSinceReport_; }
    // The values of the latest report, all 0 before the first.
    const std::array<Channel, kChannelCount>& Latest() const { return latest_; }
    const ChartSums& Chart() const { return chart_; }
    const RecordSums& Record() const { return record_; }

private:
    std::array<Channel, kChannelCount> latest_{};
    ChartSums chart_;
    RecordSums record_;
    std::int32_t ticksSinceReport_ = 0;
};

}  // namespace noxa
