#include "outputs/common/safety_rule.h"

#include "outputs/common/latest_readings.h"

#include <QString>

#include <cmath>

namespace noxa {
namespace {

std::string Number(double value, int decimals) {
    return QString::number(value, 'f', decimals).toStdString();
}

SafetyVerdict Unsafe(UnsafeCause cause, std::string reason) {
    return {cause, std::move(reason)};
}

}  // namespace

SafetyRule::SafetyRule(const LatestReadings& readings, SafetyLimits limits, Log log)
    : readings_(readings), limits_(std::move(limits)), log_(std::move(log)) {
    connect(&readings_, &LatestReadings::changed, this, &SafetyRule::Decide);
    connect(&readings_, &LatestReadings::ticked, this, &SafetyRule::Decide);
    Decide();
}

SafetyVerdict SafetyRule::Judge(const LatestReadings& readings, const SafetyLimits& limits) {
    const auto& latest = readings.Latest();
    if (!latest) return Unsafe(UnsafeCause::NoReport, "no report yet");
    if (readings.AgeSeconds().value_or(0) > limits.staleSeconds) {
        return Unsafe(UnsafeCause::Silence,
                      "no report for over " + Number(limits.staleSeconds, 0) + " s");
    }
    // A sensor that gave no value for as long as the stale limit has failed: a reason of its
    // own, before what rests on it.
    const auto failed = [&](Reading reading) {
        const auto seconds = readings.SecondsSinceValue(reading);
        return !seconds || *seconds > limits.staleSeconds;
    };
    if (failed(Reading::SkyTemperature))
        return Unsafe(UnsafeCause::SkyTemperatureUnknown, "sky temperature unknown");
    if (failed(Reading::SensorTemperature))
        return Unsafe(UnsafeCause::SensorTemperatureUnknown, "sensor temperature unknown");
    if (failed(Reading::MagV))
        return Unsafe(UnsafeCause::BrightnessUnknown, "sky brightness unknown");
    const float cloud = CloudCoverPercent(latest->cloudIndex);
    if (!std::isfinite(cloud))
        return Unsafe(UnsafeCause::CloudCoverUnknown, "cloud cover not measured yet");
    if (cloud > limits.maxCloudCover) {
        return Unsafe(UnsafeCause::Cloudy, "cloud cover " + Number(cloud, 0) + " % above " +
                                               Number(limits.maxCloudCover, 0) + " %");
    }
    if (limits.brightestSky && latest->magV < *limits.brightestSky) {
        return Unsafe(UnsafeCause::BrightSky, "sky " + Number(latest->magV, 2) +
                                                  " mag/arcsec² brighter than " +
                                                  Number(*limits.brightestSky, 2));
    }
    return {std::nullopt, {}};
}

void SafetyRule::Decide() {
    SafetyVerdict verdict = Judge(readings_, limits_);
    if (verdict == verdict_) return;
    const bool newCause = verdict.cause != verdict_.cause;
    // Kept first: whoever hears of the change reads the new verdict.
    verdict_ = std::move(verdict);
    if (newCause) log_.Info(verdict_.Safe() ? "Sky safe" : "Sky unsafe: " + verdict_.reason);
    emit changed();
}

}  // namespace noxa
