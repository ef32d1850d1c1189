#pragma once

#include "core/observation.h"
#include "core/readings.h"
#include "core/sky_quality.h"

#include <array>
#include <optional>

namespace noxa {

struct ChartSums;
struct DecodedReport;

// Turns each decoded report into the observation every output is fed with, and decides what
// of it is known. A value the report did not give as a number is unknown. An estimate (NELM,
// the cloud index) is known only while every reading it rests on is, and only when the newest
// chart point's mean was taken by this run from reports that came after each of those readings
// last failed (gave no value for longer than the stale limit) and held a number for each: a
// mean from before a failure is no more current than one restored from a file.
class ObservationBuilder {
public:
    explicit ObservationBuilder(double staleSeconds = 120) { SetStaleSeconds(staleSeconds); }
    void SetStaleSeconds(double seconds);

    // A chart point was made from `sums`: when they hold reports, its means are new.
    void ChartPointMade(const ChartSums& sums);

    // The observation of `report`, decoded at `time`, with the newest chart point's estimates.
    // Source, station and the Sun and the Moon are left to the caller.
    Observation Build(const DecodedReport& report, UtcMilliseconds time,
                      const ChartEstimates& estimates);

private:
    void Track(const Observation& observation);
    bool EstimateKnown(const ReadingDescription& estimate, const Observation& observation) const;

    UtcMilliseconds staleMilliseconds_ = 0;
    // When each reading last had a value, and when it last came back after a failure.
    std::array<std::optional<UtcMilliseconds>, kReadingCount> lastKnown_{}, recovered_{};
    // For each estimate, when the first report of the newest chart point's mean came; none
    // before this run's first such mean, or when that mean rests on a value that was no number.
    std::array<std::optional<UtcMilliseconds>, kReadingCount> meanFrom_{};
};

}  // namespace noxa
