#pragma once

#include "core/observation.h"

namespace noxa {

// Where the Sun and the Moon stand for an observer at one instant.
struct SunMoon {
    double sunAltitude = 0;       // degrees above the horizon, geometric (no refraction)
    double moonAltitude = 0;      // degrees, topocentric, geometric (no refraction)
    double moonIllumination = 0;  // illuminated fraction of the Moon's disc, 0..1
};

// The Sun's and the Moon's altitudes and the Moon's illuminated fraction at `time` (UTC) for an
// observer at sea level at `latitude` (degrees, north positive) and `longitude` (degrees, east
// positive). UT1 is taken as UTC (under a second apart, a few thousandths of a degree here).
// Both altitudes are of the bodies' centres, seen from the observer's place on the Earth's
// surface, without atmospheric refraction.
SunMoon ComputeSunMoon(UtcMilliseconds time, double latitude, double longitude);

}  // namespace noxa
