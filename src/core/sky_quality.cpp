#include "core/sky_quality.h"

#include <algorithm>
#include <cmath>

namespace noxa {

float NelmFromMag(float skyBrightness) {
    if (!(skyBrightness > 0)) return 0.0f;
    const long double m = skyBrightness;
    return static_cast<float>(7.93L - 5.0L * std::log10(std::pow(10.0L, 4.316L - 0.2L * m) + 1.0L));
}

float CloudIndex(float tSensMean, float tIRMean) {
    return static_cast<float>(100.0 - 3.0 * (static_cast<double>(tSensMean) - tIRMean));
}

float CloudCoverPercent(float cloudIndex) {
    if (std::isnan(cloudIndex)) return cloudIndex;
    return std::clamp(cloudIndex, 0.0f, 100.0f);
}

}  // namespace noxa
