#include "core/sky_quality.h"

#include "core/number_display.h"
#include "core/station_locale.h"

#include <gtest/gtest.h>

#include <limits>

namespace noxa {
namespace {

std::string Shown(float value, int decimals) {
    return FormatRounded(value, decimals, StationLocale::Fixed("%x", "%X", "."));
}

TEST(NelmFromMag, GivesTheTypicalLimitingMagnitudes) {
    EXPECT_EQ(Shown(NelmFromMag(22), 1), "6.6");
    EXPECT_EQ(Shown(NelmFromMag(21), 1), "6.1");
    EXPECT_EQ(Shown(NelmFromMag(20), 1), "5.5");
    EXPECT_NEAR(NelmFromMag(18), 3.968f, 0.0005f);
    EXPECT_EQ(Shown(NelmFromMag(18), 1), "4");
    EXPECT_EQ(Shown(NelmFromMag(16), 1), "2.2");
    EXPECT_EQ(Shown(NelmFromMag(10), 1), "-3.7");
}

TEST(NelmFromMag, IsZeroWithoutAPositiveBrightness) {
    EXPECT_EQ(NelmFromMag(0), 0.0f);
    EXPECT_EQ(NelmFromMag(-3), 0.0f);
    EXPECT_EQ(NelmFromMag(std::numeric_limits<float>::quiet_NaN()), 0.0f);
}

TEST(CloudIndex, FallsThreePerDegreeOfColderSky) {
    EXPECT_EQ(CloudIndex(10, -20), 10.0f);
    EXPECT_EQ(CloudIndex(10, 12), 106.0f);
    EXPECT_EQ(CloudIndex(5, 5), 100.0f);
    EXPECT_EQ(CloudIndex(10, -30), -20.0f);
}

}  // namespace
}  // namespace noxa
