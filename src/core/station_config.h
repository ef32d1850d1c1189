#pragma once

#include <cstdint>

namespace noxa {

// The settings the station holds as numbers; the others live as the texts of their edit
// fields in the form model. Filled from the configuration file.
struct StationConfig {
    std::int32_t serialPortNumber = 0;  // greater than 0: serial mode on that port
    float latitude = 0;                 // degrees, north positive
    float longitude = 0;                // degrees, east positive
    std::int32_t zoomStep = 0;
    std::int32_t magMaxX = 0, magMaxY = 0, magMaxZ = 0;
    std::int32_t magMinX = 0, magMinY = 0, magMinZ = 0;
    float tempOffset = 0;
    float magOffsetV = 0, magGainV = 0, magOffsetR = 0, magGainR = 0;
    float magOffsetG = 0, magGainG = 0, magOffsetB = 0, magGainB = 0;

    bool SerialMode() const { return serialPortNumber > 0; }
};

}  // namespace noxa
