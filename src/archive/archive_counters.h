#pragma once

#include "archive/refusal.h"

#include <array>
#include <cstdint>
#include <vector>

namespace noxa {

// The archive's live figures: kept by the ingest, read by the web side on the main thread.
struct ArchiveCounters {
    std::uint64_t recordsArchived = 0;  // new records committed since start
    std::uint64_t recordsRepeated = 0;  // repeats that changed nothing
    std::uint64_t recordsRejected = 0;  // unreadable payloads
    std::uint64_t recordsWaiting = 0;   // received, not yet committed
    // Messages refused before they were stored, by kind of Refusal.
    std::array<std::uint64_t, kRefusalKinds> refused{};
    bool brokerConnected = false;
    bool databaseUp = false;
    // Commit latency: the duration of each batch's commit, seconds, as a Prometheus
    // histogram: bucket upper bounds and cumulative counts.
    std::vector<double> commitBuckets{0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                      0.1,   0.25,   0.5,   1,    2.5,   5};
    std::vector<std::uint64_t> commitCounts = std::vector<std::uint64_t>(12, 0);
    std::uint64_t commitCount = 0;
    double commitSecondsSum = 0;
    // Time from a record's end to its commit, seconds: the newest batch's largest.
    double lastEndToCommitSeconds = 0;
};

// Counts one batch's commit that took `seconds`.
inline void CountCommit(ArchiveCounters& counters, double seconds) {
    for (std::size_t i = 0; i < counters.commitBuckets.size(); ++i) {
        if (seconds <= counters.commitBuckets[i]) ++counters.commitCounts[i];
    }
    ++counters.commitCount;
    counters.commitSecondsSum += seconds;
}

}  // namespace noxa
