#pragma once

#include "core/observation.h"

#include <array>
#include <optional>

namespace noxa {

// Where the observer stands.
struct ObserverPlace {
    double latitude = 0, longitude = 0;  // degrees, north and east positive
    bool operator==(const ObserverPlace&) const = default;
};

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

// The Earth's heliocentric and the Moon's geocentric positions (au, in the GCRS's axes) at
// `time`, with the turn of the GCRS's axes to the true equator and equinox of date (row by row)
// and the equation of the origins (the Earth rotation angle less the sidereal time, radians):
// the costliest parts of ComputeSunMoon and the slowest to change, so that a caller computing
// many instants may compute them seldom and take them between from its own interpolation.
struct BodyPositions {
    std::array<double, 3> earth{}, moon{};
    std::array<double, 9> toDate{1, 0, 0, 0, 1, 0, 0, 0, 1};
    double originsEquation = 0;
};
BodyPositions ComputeBodyPositions(UtcMilliseconds time);
// Each alone, at the cost of that body; the Earth's with the turn to the equator of date.
BodyPositions ComputeEarthPosition(UtcMilliseconds time);
BodyPositions ComputeMoonPosition(UtcMilliseconds time);
SunMoon ComputeSunMoon(UtcMilliseconds time, double latitude, double longitude,
                       const BodyPositions& bodies);

// The Sun and the Moon at one place, computed again only when the place changes or the time
// reaches another second: in a second they move less than 0.01 degree, and a flood of reports
// must not pay for a computation each.
class SunMoonAtPlace {
public:
    const SunMoon& At(UtcMilliseconds time, const ObserverPlace& place);

private:
    std::optional<UtcMilliseconds> second_;
    ObserverPlace place_;
    SunMoon sky_;
};

}  // namespace noxa
