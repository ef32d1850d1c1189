#pragma once

#include <QRgb>

namespace noxa {

// The colours of sky brightness on the year's chart: a perceptually even scale from black
// (the darkest sky) through purple and orange to pale yellow (the brightest). The range is
// fixed, so that charts of other sites and years compare at a glance; values beyond it take
// the colour of its end.
struct SkyColourScale {
    float brightest = 16;  // mag/arcsec²: pale yellow, and every brighter sky
    float darkest = 22;    // mag/arcsec²: black, and every darker sky

    // 0 for the darkest sky, 1 for the brightest.
    float Position(float mag) const;
    QRgb Colour(float mag) const;
    // The grey of the same lightness, for skies lit by twilight.
    QRgb Grey(float mag) const;
};

}  // namespace noxa
