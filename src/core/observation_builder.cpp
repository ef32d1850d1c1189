#include "core/observation_builder.h"

#include "core/broadcast_decoder.h"
#include "core/live_sums.h"

#include <cmath>
#include <limits>

namespace noxa {

void ObservationBuilder::SetStaleSeconds(double seconds) {
    staleMilliseconds_ = static_cast<UtcMilliseconds>(std::llround(seconds * 1000));
}

void ObservationBuilder::ChartPointMade(const ChartSums& sums) {
    // Without reports the point repeats the previous one's means.
    if (sums.count <= 0) return;
    for (const ReadingDescription& estimate : kReadings) {
        if (!estimate.restsOn) continue;
        auto& from = meanFrom_[Index(estimate.id)];
        from = (sums.unread & estimate.restsOn) ? std::nullopt : sums.firstReport;
    }
}

Observation ObservationBuilder::Build(const DecodedReport& report, UtcMilliseconds time,
                                      const ChartEstimates& estimates) {
    constexpr float kUnknown = std::numeric_limits<float>::quiet_NaN();
    Observation o = report.observation;
    o.time = time;
    o.nelm = estimates.nelm;
    o.cloudIndex = estimates.cloudIndex;
    for (const ReadingDescription& reading : kReadings) {
        if (report.unread & Bit(reading.id)) reading.field.Of(o) = kUnknown;
    }
    Track(o);
    for (const ReadingDescription& estimate : kReadings) {
        if (estimate.restsOn && !EstimateKnown(estimate, o)) estimate.field.Of(o) = kUnknown;
    }
    return o;
}

void ObservationBuilder::Track(const Observation& o) {
    for (const ReadingDescription& reading : kReadings) {
        if (reading.restsOn || !std::isfinite(reading.field.Of(o))) continue;
        const std::size_t i = Index(reading.id);
        if (!lastKnown_[i] || o.time - *lastKnown_[i] > staleMilliseconds_) recovered_[i] = o.time;
        lastKnown_[i] = o.time;
    }
}

bool ObservationBuilder::EstimateKnown(const ReadingDescription& estimate,
                                       const Observation& o) const {
    const auto& from = meanFrom_[Index(estimate.id)];
    if (!from) return false;
    for (const ReadingDescription& input : kReadings) {
        if (!(estimate.restsOn & Bit(input.id))) continue;
        if (!std::isfinite(input.field.Of(o))) return false;
        if (*from < *recovered_[Index(input.id)]) return false;
    }
    return true;
}

}  // namespace noxa
