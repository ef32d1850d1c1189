#pragma once

#include <QDateTime>
#include <QMetaType>

#include <cstdint>
#include <optional>
#include <string>

namespace noxa {

// Milliseconds since 1970-01-01T00:00:00Z.
using UtcMilliseconds = std::int64_t;

// Where a report came from.
enum class ReportSource : std::uint8_t { Broadcast, Serial, Socket };

// One decoded report, as numbers: what every output of the station is fed with.
struct Observation {
    UtcMilliseconds time = 0;  // when it was decoded
    ReportSource source = ReportSource::Broadcast;
    std::string station;  // the station's name, 8-bit text as configured
    // Sky brightness in mag/arcsec²: channel 1 (740 nm), channel 2 (640 nm), red, the derived
    // green and blue.
    float magV = 0, magV2 = 0, magR = 0, magG = 0, magB = 0;
    // Frequencies in Hz of channels 1 to 4 and of the derived green.
    float freq1 = 0, freq2 = 0, freq3 = 0, freq4 = 0, freqG = 0;
    // The instrument constants (zero points) of channels 1 to 4.
    float zeroPoint1 = 0, zeroPoint2 = 0, zeroPoint3 = 0, zeroPoint4 = 0;
    float sensorTemperature = 0;  // °C
    float skyTemperature = 0;     // infrared, °C
    // The estimates shown with the report, from the newest chart point's means.
    float nelm = 0;
    float cloudIndex = 0;  // not held to 0..100
    // The Sun and the Moon at the observer's place when the report was decoded: altitudes of
    // their centres in degrees, without refraction, and the Moon's illuminated fraction, 0..1.
    float sunAltitude = 0;
    float moonAltitude = 0;
    float moonIllumination = 0;
    // Every value is a finite number, so the report entered the interval means.
    bool counted = true;
};

// The means of one data-file record, as the data-file line prints them.
struct IntervalRecord {
    UtcMilliseconds start = 0;  // the end of the previous record, or the first report's time
    UtcMilliseconds end = 0;
    QDateTime localEnd;  // the same instant on the station's clock, for the data-file line
    // The interval's means, computed in double precision from the single-precision sums; 0
    // for a channel group without reports. Channel 2 (640 nm) is averaged over the reports of
    // channel 1.
    double magV = 0, magV2 = 0, magR = 0, magG = 0, magB = 0;
    double freq1 = 0, freq2 = 0, freqR = 0, freqG = 0, freqB = 0;
    // The newest chart point's temperature means when its interval measured them; unknown
    // before this run's first chart point and while the sensors give none.
    std::optional<float> sensorTemperature, skyTemperature;
    // The same means as the day table holds them, which the data-file line prints: a chart
    // point without temperatures repeats the previous one's, and before any point there are
    // the saved history's, or 0.
    float dayTableSensorTemperature = 0, dayTableSkyTemperature = 0;
    // Reports in the means of channel 1 (and 2), of red, of green and of blue.
    std::int32_t reports = 0, reportsR = 0, reportsG = 0, reportsB = 0;
};

// One chart point: the chart interval's means, as kept in the day tables.
struct ChartPoint {
    UtcMilliseconds time = 0;
    float magV = 0, magV2 = 0, magR = 0, magG = 0, magB = 0;
    float sensorTemperature = 0, skyTemperature = 0;
    float nelm = 0;
    float cloudIndex = 0;
};

// Whether reports are coming in.
struct LinkStatus {
    // The reception indicator is not red: the link works and reports are fresh.
    bool ok = false;
    // Seconds since the last report (or serial frame), counted by the station's tick.
    std::int32_t secondsSinceReport = 0;
};

}  // namespace noxa

Q_DECLARE_METATYPE(noxa::Observation)
Q_DECLARE_METATYPE(noxa::IntervalRecord)
Q_DECLARE_METATYPE(noxa::ChartPoint)
Q_DECLARE_METATYPE(noxa::LinkStatus)
