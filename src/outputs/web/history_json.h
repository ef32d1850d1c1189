#pragma once

#include <QByteArray>

namespace noxa {

struct DayTables;

// The chart history as the JSON of "/api/history": one array per series, oldest slot first,
// all of the same length (1440): "time" (UTC, ISO 8601 with "Z"), "mag_v", "mag_v2", "mag_r",
// "mag_g", "mag_b" (mag/arcsec²), "temperature", "sky_temperature" (°C), "nelm" and
// "cloud_cover" (0..100). The slots hold the local date-time the computer's clock showed.
// A slot never filled (no date, or nothing but zeros) and a value that is no number are null.
QByteArray HistoryJson(const DayTables& days);

}  // namespace noxa
