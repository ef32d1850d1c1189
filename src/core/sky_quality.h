#pragma once

namespace noxa {

// The estimates of a chart point, from its means.
struct ChartEstimates {
    float nelm = 0;
    float cloudIndex = 0;  // not held to 0..100
};

// Naked-eye limiting magnitude for a sky brightness in mag/arcsec²; 0 when the brightness is
// not greater than 0.
float NelmFromMag(float skyBrightness);

// Cloud cover estimate: 100 for a sky as warm as the sensor, 3 less per degree colder.
float CloudIndex(float tSensMean, float tIRMean);

// The cloud index held to the 0..100 scale of a cloud cover; unknown stays unknown.
float CloudCoverPercent(float cloudIndex);

}  // namespace noxa
