#pragma once

#include "night/night_sample.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace noxa::test {

// A night of one-minute samples from local noon to noon in Berlin: the Sun lowest at midnight
// at `sunAtMidnight` and highest at +40°, the Moon down all night, a clear dark sky.
inline Night MakeNight(float sunAtMidnight = -50) {
    constexpr double kPi = 3.14159265358979323846;
    Night night;
    night.date = QDate(2024, 3, 10);
    night.zone = QTimeZone("Europe/Berlin");
    const UtcMilliseconds noon =
        QDateTime(night.date, QTime(12, 0), night.zone).toMSecsSinceEpoch();
    const double depth = (40 - sunAtMidnight) / 2;
    for (int i = 0; i < 1440; ++i) {
        NightSample s;
        s.time = noon + i * 60000LL;
        s.sunAltitude = static_cast<float>(40 - depth + depth * std::cos(2 * kPi * i / 1440.0));
        s.moonAltitude = -40;
        s.moonIllumination = 0.1f;
        const float sky = 21.5f - std::max(0.0f, s.sunAltitude + 18) * 0.6f;
        for (int c = 0; c < kStationChannels; ++c)
            s.mag[static_cast<std::size_t>(c)] = sky + 0.3f * c;
        night.samples.push_back(s);
    }
    return night;
}

}  // namespace noxa::test
