#include "core/live_sums.h"

#include "core/broadcast_decoder.h"

#include <utility>

namespace noxa {

void LiveSums::AddReport(const DecodedReport& report, UtcMilliseconds time) {
    const Observation& o = report.observation;
    latest_ = o.channels;
    ticksSinceReport_ = 0;
    if (!o.counted) return;

    chart_.count += 1;
    for (std::size_t i = 0; i < kChannelCount; ++i) chart_.mag[i] += o.channels[i].mag;
    chart_.skyTemperature += o.skyTemperature;
    chart_.sensorTemperature += o.sensorTemperature;
    if (!chart_.firstReport) chart_.firstReport = time;
    chart_.unread |= report.unread;

    record_.count += 1;
    for (std::size_t i = 0; i < kChannelCount; ++i) {
        record_.mag[i] += o.channels[i].mag;
        record_.freq[i] += o.channels[i].freq;
    }
    record_.unread |= report.unread;
}

ChartSums LiveSums::TakeChartSums() {
    return std::exchange(chart_, ChartSums{});
}

RecordSums LiveSums::TakeRecordSums() {
    return std::exchange(record_, RecordSums{});
}

}  // namespace noxa
