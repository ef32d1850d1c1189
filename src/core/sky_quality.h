#pragma once

namespace noxa {

// Naked-eye limiting magnitude for a sky brightness in mag/arcsec²; 0 when the brightness is
// not greater than 0.
float NelmFromMag(float skyBrightness);

// Cloud cover estimate: 100 for a sky as warm as the sensor, 3 less per degree colder.
float CloudIndex(float tSensMean, float tIRMean);

}  // namespace noxa
