#include "time/sun_moon.h"

#include <erfa.h>
#include <erfam.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace noxa {
namespace {

constexpr double kUnixEpochJd = 2440587.5;

// The UTC instant as ERFA's two-part quasi Julian date, leap seconds handled by eraDtf2d.
void UtcJulianDate(UtcMilliseconds time, double& utc1, double& utc2) {
    using namespace std::chrono;
    const sys_time<milliseconds> instant{milliseconds{time}};
    const sys_days day = floor<days>(instant);
    const year_month_day date{day};
    const hh_mm_ss clock{instant - day};
    const double second = duration<double>(clock.seconds() + clock.subseconds()).count();
    // A day beyond the calendar's ±32767 years does not come back from its date.
    if (sys_days{date} != day || eraDtf2d("UTC", int(date.year()), int(unsigned(date.month())),
                                          int(unsigned(date.day())), int(clock.hours().count()),
                                          int(clock.minutes().count()), second, &utc1, &utc2) < 0) {
        utc1 = kUnixEpochJd + double(day.time_since_epoch().count());
        utc2 = duration<double, days::period>(instant - day).count();
    }
}

// Altitude in degrees of a direction given in the true equator and equinox of date, `gst` the
// apparent sidereal time at Greenwich, longitude and latitude in radians.
double Altitude(double p[3], double gst, double longitude, double latitude) {
    double ra = 0, dec = 0;
    eraC2s(p, &ra, &dec);
    double azimuth = 0, altitude = 0;
    eraHd2ae(gst + longitude - ra, dec, latitude, &azimuth, &altitude);
    return altitude * ERFA_DR2D;
}

}  // namespace

namespace {

// The instant as UTC and TT, each a two-part Julian date.
void JulianDates(UtcMilliseconds time, double& utc1, double& utc2, double& tt1, double& tt2) {
    UtcJulianDate(time, utc1, utc2);
    double tai1 = 0, tai2 = 0;
    if (eraUtctai(utc1, utc2, &tai1, &tai2) < 0 || eraTaitt(tai1, tai2, &tt1, &tt2) != 0) {
        tt1 = utc1;
        tt2 = utc2 + 69.184 / 86400.0;
    }
}

}  // namespace

BodyPositions ComputeEarthPosition(UtcMilliseconds time) {
    double utc1 = 0, utc2 = 0, tt1 = 0, tt2 = 0;
    JulianDates(time, utc1, utc2, tt1, tt2);
    // TDB differs from TT by under 2 ms: TT serves for both.
    double earthHelio[2][3], earthBary[2][3];
    eraEpv00(tt1, tt2, earthHelio, earthBary);
    BodyPositions bodies;
    std::copy(earthHelio[0], earthHelio[0] + 3, bodies.earth.begin());
    // The shorter IAU 2000B nutation is within a milliarcsecond of the full model, at a tenth of
    // its cost (years of one-minute records need the sky for each).
    double rnpb[3][3];
    eraPnm00b(tt1, tt2, rnpb);
    std::copy(&rnpb[0][0], &rnpb[0][0] + 9, bodies.toDate.begin());
    double x = 0, y = 0;
    eraBpn2xy(rnpb, &x, &y);
    bodies.originsEquation = eraEors(rnpb, eraS06(tt1, tt2, x, y));
    return bodies;
}

BodyPositions ComputeMoonPosition(UtcMilliseconds time) {
    double utc1 = 0, utc2 = 0, tt1 = 0, tt2 = 0;
    JulianDates(time, utc1, utc2, tt1, tt2);
    double moonPv[2][3];
    eraMoon98(tt1, tt2, moonPv);
    BodyPositions bodies;
    std::copy(moonPv[0], moonPv[0] + 3, bodies.moon.begin());
    return bodies;
}

BodyPositions ComputeBodyPositions(UtcMilliseconds time) {
    BodyPositions bodies = ComputeEarthPosition(time);
    bodies.moon = ComputeMoonPosition(time).moon;
    return bodies;
}

SunMoon ComputeSunMoon(UtcMilliseconds time, double latitude, double longitude) {
    return ComputeSunMoon(time, latitude, longitude, ComputeBodyPositions(time));
}

SunMoon ComputeSunMoon(UtcMilliseconds time, double latitude, double longitude,
                       const BodyPositions& bodies) {
    double utc1 = 0, utc2 = 0, tt1 = 0, tt2 = 0;
    JulianDates(time, utc1, utc2, tt1, tt2);

    // Geocentric directions in the GCRS, in au.
    double sun[3] = {-bodies.earth[0], -bodies.earth[1], -bodies.earth[2]};
    double moon[3] = {bodies.moon[0], bodies.moon[1], bodies.moon[2]};

    // The Moon's phase angle, between the directions from the Moon to the Sun and to the Earth.
    double moonToSun[3], moonToEarth[3];
    eraPmp(sun, moon, moonToSun);
    eraSxp(-1.0, moon, moonToEarth);
    const double cosPhase = eraPdp(moonToSun, moonToEarth) / (eraPm(moonToSun) * eraPm(moon));

    // To the true equator and equinox of date; the observer there through the sidereal time.
    double rnpb[3][3];
    std::copy(bodies.toDate.begin(), bodies.toDate.end(), &rnpb[0][0]);
    const double gst = eraAnp(eraEra00(utc1, utc2) - bodies.originsEquation);
    const double lon = longitude * ERFA_DD2R;
    const double lat = latitude * ERFA_DD2R;
    double terrestrial[3];
    eraGd2gc(ERFA_WGS84, lon, lat, 0.0, terrestrial);
    double rotation[3][3];
    eraIr(rotation);
    eraRz(-gst, rotation);
    double observer[3];
    eraRxp(rotation, terrestrial, observer);
    eraSxp(1.0 / ERFA_DAU, observer, observer);

    double sunDate[3], moonDate[3];
    eraRxp(rnpb, sun, sunDate);
    eraRxp(rnpb, moon, moonDate);
    eraPmp(sunDate, observer, sunDate);
    eraPmp(moonDate, observer, moonDate);

    SunMoon result;
    result.sunAltitude = Altitude(sunDate, gst, lon, lat);
    result.moonAltitude = Altitude(moonDate, gst, lon, lat);
    result.moonIllumination = std::clamp((1.0 + cosPhase) / 2.0, 0.0, 1.0);
    return result;
}

const SunMoon& SunMoonAtPlace::At(UtcMilliseconds time, const ObserverPlace& place) {
    const UtcMilliseconds second = time >= 0 ? time / 1000 : (time - 999) / 1000;
    if (second != second_ || !(place == place_)) {
        sky_ = ComputeSunMoon(time, place.latitude, place.longitude);
        second_ = second;
        place_ = place;
    }
    return sky_;
}

}  // namespace noxa
