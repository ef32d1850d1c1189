#pragma once

#include <QObject>
#include "core/station_log.h"

#include <cstdint>
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

// What makes the sky unsafe, whatever the numbers of the moment.
enum class UnsafeCause : std::uint8_t {
    NoReport,
    Silence,
    SkyTemperatureUnknown,
    SensorTemperatureUnknown,
    BrightnessUnknown,
    CloudCoverUnknown,
    Cloudy,
    BrightSky,
    // Said by the station's last words only: nobody watches the sky any more.
    StationStopped,
};

struct SafetyVerdict {
    // Why the sky is unsafe; none while it is safe.
    std::optional<UnsafeCause> cause = UnsafeCause::NoReport;
    // The cause in words, with the numbers of now ("cloud cover 33 % above 30 %"); empty while
    // the sky is safe.
    std::string reason = "no report yet";

    bool Safe() const { return !cause; }
    bool operator==(const SafetyVerdict&) const = default;
};

// Whether the sky is safe for an observatory to open: unsafe before the first report, when the
// readings are stale, when it is cloudier than the limit or brighter than the limit. Decided
// at every change of the readings and at every tick. The rule owns its verdict: `changed`
// tells of every change of it or of its reason's words, and the log has one line each time the
// sky turns safe or unsafe or the cause changes (not when only a number in the reason does).
//
// The rule hears of the readings' changes before the outputs made after it, so an output that
// reads the readings and the verdict together never pairs new readings with an old verdict.
class SafetyRule : public QObject {
    Q_OBJECT

public:
    SafetyRule(const LatestReadings& readings, SafetyLimits limits, Log log);

    const SafetyVerdict& Verdict() const { return verdict_; }
    bool IsSafe() const { return verdict_.Safe(); }
    const std::string& Reason() const { return verdict_.reason; }
    const SafetyLimits& Limits() const { return limits_; }

    // The verdict on the readings as they are now.
    static SafetyVerdict Judge(const LatestReadings& readings, const SafetyLimits& limits);

signals:
    void changed();

private:
    void Decide();

    const LatestReadings& readings_;
    const SafetyLimits limits_;
    Log log_;
    SafetyVerdict verdict_;
};

}  // namespace noxa
