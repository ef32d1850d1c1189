#include "night/sky_colour_scale.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace noxa {
namespace {

// Stops of the scale at equal steps, dark to bright.
constexpr std::array<QRgb, 11> kStops = {0x000004, 0x160b39, 0x420a68, 0x6a176e, 0x932667, 0xbc3754,
                                         0xdd513a, 0xf37819, 0xfca50a, 0xf6d746, 0xfcffa4};

int Mix(int a, int b, float share) {
    return int(std::lround(float(a) + (float(b) - float(a)) * share));
}

}  // namespace

float SkyColourScale::Position(float mag) const {
    return std::clamp((darkest - mag) / (darkest - brightest), 0.f, 1.f);
}

QRgb SkyColourScale::Colour(float mag) const {
    const float at = Position(mag) * float(kStops.size() - 1);
    const size_t low = std::min(size_t(at), kStops.size() - 2);
    const float share = at - float(low);
    const QRgb a = kStops[low], b = kStops[low + 1];
    return qRgb(Mix(qRed(a), qRed(b), share), Mix(qGreen(a), qGreen(b), share),
                Mix(qBlue(a), qBlue(b), share));
}

QRgb SkyColourScale::Grey(float mag) const {
    // Kept between dark and light grey, apart from black skies and white empty cells.
    const int level = 70 + qGray(Colour(mag)) * 140 / 255;
    return qRgb(level, level, level);
}

}  // namespace noxa
