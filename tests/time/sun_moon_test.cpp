#include "time/sun_moon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace noxa {
namespace {

struct Reference {
    UtcMilliseconds time = 0;
    double latitude = 0, longitude = 0;
    SunMoon expected;
};

// Values from PyEphem, written by sun_moon_reference.py.
std::vector<Reference> ReadReference() {
    std::ifstream file(NOXA_SUN_MOON_REFERENCE);
    std::vector<Reference> rows;
    std::string line;
    std::getline(file, line);  // header
    while (std::getline(file, line)) {
        std::istringstream in(line);
        Reference r;
        char comma = 0;
        in >> r.time >> comma >> r.latitude >> comma >> r.longitude >> comma >>
            r.expected.sunAltitude >> comma >> r.expected.moonAltitude >> comma >>
            r.expected.moonIllumination;
        if (in) rows.push_back(r);
    }
    return rows;
}

TEST(SunMoonTest, AgreesWithAnIndependentEphemerisOverDatesAndPlaces) {
    const std::vector<Reference> rows = ReadReference();
    ASSERT_GE(rows.size(), 300u);
    double worstSun = 0, worstMoon = 0, worstPhase = 0;
    for (const Reference& r : rows) {
        const SunMoon got = ComputeSunMoon(r.time, r.latitude, r.longitude);
        SCOPED_TRACE(testing::Message()
                     << r.time << " lat " << r.latitude << " lon " << r.longitude);
        EXPECT_NEAR(got.sunAltitude, r.expected.sunAltitude, 0.05);
        EXPECT_NEAR(got.moonAltitude, r.expected.moonAltitude, 0.3);
        EXPECT_NEAR(got.moonIllumination, r.expected.moonIllumination, 0.01);
        worstSun = std::max(worstSun, std::abs(got.sunAltitude - r.expected.sunAltitude));
        worstMoon = std::max(worstMoon, std::abs(got.moonAltitude - r.expected.moonAltitude));
        worstPhase =
            std::max(worstPhase, std::abs(got.moonIllumination - r.expected.moonIllumination));
    }
    std::printf("worst differences: sun %.4f° moon %.4f° illumination %.4f\n", worstSun, worstMoon,
                worstPhase);
}

TEST(SunMoonTest, InstantsBeforeNineteenSeventyAndAcrossALeapSecond) {
    // 1969-07-20 20:17 UTC, the first Moon landing: a crescent two days before the first quarter.
    const SunMoon landing = ComputeSunMoon(-14182980000, 0.67, 23.47);
    EXPECT_GT(landing.moonIllumination, 0.25);
    EXPECT_LT(landing.moonIllumination, 0.4);
    // One second apart across the leap second at the end of 2016: the Sun barely moves.
    const SunMoon before = ComputeSunMoon(1483228799000, 45, 10);
    const SunMoon after = ComputeSunMoon(1483228800000, 45, 10);
    EXPECT_NEAR(before.sunAltitude, after.sunAltitude, 0.02);
}

}  // namespace
}  // namespace noxa
