#pragma once

#include <QObject>
#include "core/station_log.h"

#include <functional>
#include <optional>
#include <string>

namespace noxa {

class LatestReadings;

struct SafetyLimits {
    // The largest cloud cover that is still safe, 0..100.
    float maxCloudCover = 30;
    // The faintest sky that is still too bright, as channel 1's sky brightness in mag/arcsec²:
    // a sky brighter (a smaller number) is unsafe. None: brightness is no reason.
    std::optional<float> brightestSky;
    // The longest silence before the readings are stale.
    double staleSeconds = 120;
};

// Whether the sky is safe for an observatory to open: unsafe before the first report, when the
// readings are stale, when it is cloudier than the limit or brighter than the limit. Decided
// at every report and every tick; the verdict goes to the readings the outputs show, and each
// change of it is one log line with its reason.
class SafetyRule : public QObject {
    Q_OBJECT

public:
    SafetyRule(LatestReadings& readings, SafetyLimits limits, Log log);

    bool IsSafe() const;
    const std::string& Reason() const;
    const SafetyLimits& Limits() const { return limits_; }

    // Why the readings are unsafe, or nothing when they are safe.
    static std::optional<std::string> Unsafe(const LatestReadings& readings,
                                             const SafetyLimits& limits);

signals:
    void changed();

private:
    void Decide();

    LatestReadings& readings_;
    const SafetyLimits limits_;
    Log log_;
};

}  // namespace noxa
