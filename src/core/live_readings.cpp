#include "core/live_readings.h"

#include <cmath>

namespace noxa {

GreenChannel DeriveGreen(float frec640, float frecR, float frecB, float ci2) {
    const double frecG = static_cast<double>(frec640) - frecR - frecB;
    // Also taken when the difference is not a number.
    if (!(frecG > 0)) return {0.0f, 25.0f};
    return {static_cast<float>(frecG), static_cast<float>(ci2 - 2.5 * std::log10(frecG))};
}

}  // namespace noxa
