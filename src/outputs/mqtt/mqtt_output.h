#pragma once

#include "core/output.h"

namespace noxa {

// The newest readings, the station's availability and Home Assistant's discovery, published to
// an MQTT broker: off unless a host is given.
OutputKind MqttOutput();

}  // namespace noxa
