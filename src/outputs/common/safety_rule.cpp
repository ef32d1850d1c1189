#include "outputs/common/safety_rule.h"

#include "outputs/common/latest_readings.h"

#include <QString>

#include <cmath>

namespace noxa {
namespace {

std::string Number(double value, int decimals) {
    return QString::number(value, 'f', decimals).toStdString();
}

}  // namespace

SafetyRule::SafetyRule(LatestReadings& readings, SafetyLimits limits, Log log)
    : readings_(readings), limits_(std::move(limits)), log_(std::move(log)) {
    connect(&readings_, &LatestReadings::changed, this, &SafetyRule::Decide);
    connect(&readings_, &LatestReadings::ticked, this, &SafetyRule::Decide);
    Decide();
}

bool SafetyRule::IsSafe() const {
    return readings_.Safe();
}

const std::string& SafetyRule::Reason() const {
    return readings_.SafetyReason();
}

std::optional<std::string> SafetyRule::Unsafe(const LatestReadings& readings,
                                              const SafetyLimits& limits) {
    const auto& latest = readings.Latest();
    if (!latest) return "no report yet";
    if (readings.AgeSeconds().value_or(0) > limits.staleSeconds) {
        return "no report for over " + Number(limits.staleSeconds, 0) + " s";
    }
    // A sensor that gave no value for as long as the stale limit has failed: a reason of its
    // own, before what rests on it.
    const auto failed = [&](Reading reading) {
        const auto seconds = readings.SecondsSinceValue(reading);
        return !seconds || *seconds > limits.staleSeconds;
    };
    if (failed(Reading::SkyTemperature)) return "sky temperature unknown";
    if (failed(Reading::SensorTemperature)) return "sensor temperature unknown";
    if (failed(Reading::MagV)) return "sky brightness unknown";
    const float cloud = CloudCoverPercent(latest->cloudIndex);
    if (!std::isfinite(cloud)) return "cloud cover not measured yet";
    if (cloud > limits.maxCloudCover) {
        return "cloud cover " + Number(cloud, 0) + " % above " + Number(limits.maxCloudCover, 0) +
               " %";
    }
    const float sky = (*latest)[ChannelId::C740].mag;
    if (limits.brightestSky && sky < *limits.brightestSky) {
        return "sky " + Number(sky, 2) + " mag/arcsec² brighter than " +
               Number(*limits.brightestSky, 2);
    }
    return std::nullopt;
}

void SafetyRule::Decide() {
    const std::optional<std::string> unsafe = Unsafe(readings_, limits_);
    const bool safe = !unsafe;
    const bool differs = safe != readings_.Safe();
    // Set first: whoever hears of the change reads the new verdict.
    readings_.SetSafety(safe, unsafe.value_or(std::string()));
    if (!differs) return;
    log_.Info(safe ? "Sky safe" : "Sky unsafe: " + *unsafe);
    emit changed();
}

}  // namespace noxa
