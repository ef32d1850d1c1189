#pragma once

#include "outputs/common/station_view.h"

#include <QByteArray>

namespace noxa {

class LatestReadings;

// The newest readings as the JSON object of "/api/readings" and of the MQTT state topic:
// time (UTC, ISO 8601 with "Z"), station, the five sky brightnesses (mag/arcsec²), the four
// channel frequencies, the two temperatures (°C), NELM, the cloud cover (0..100), link_ok and
// age_s, and the safety verdict `safe` with its `unsafe_reason`. Before the first report the
// readings are null; a value that is no number is null.
QByteArray ReadingsJson(const StationView& station);

// The same readings as the station's last word when it stops: the link down and the sky
// unsafe, because nobody watches it any more.
QByteArray StoppedReadingsJson(const LatestReadings& readings);

}  // namespace noxa
