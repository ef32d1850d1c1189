#include "outputs/common/safety_settings.h"

namespace noxa {

const std::vector<SettingSpec>& SafetySettingSpecs() {
    static const std::vector<SettingSpec> specs{
        {"safety/max_cloud_cover", "safe-max-cloud-cover", "percent", "30",
         "The largest cloud cover (0 to 100) that is still safe."},
        {"safety/brightest_sky", "safe-brightest-sky", "mag", "",
         "Channel 1's sky brightness in mag/arcsec^2 below which (a brighter sky) it is unsafe. "
         "Off when empty."},
        {"safety/stale_seconds", "stale-seconds", "seconds", "120",
         "The longest silence before the readings count as stale (and unsafe)."},
    };
    return specs;
}

SafetyLimits ReadSafetyLimits(const Settings& settings) {
    SafetyLimits limits;
    limits.maxCloudCover = static_cast<float>(*settings.Number("safety/max_cloud_cover", 0, 100));
    if (const auto sky = settings.Number("safety/brightest_sky", 0, 30)) {
        limits.brightestSky = static_cast<float>(*sky);
    }
    limits.staleSeconds = *settings.Number("safety/stale_seconds", 1, 86400);
    return limits;
}

}  // namespace noxa
