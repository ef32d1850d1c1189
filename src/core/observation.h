#pragma once

#include <QDateTime>
#include <QMetaType>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace noxa {

// Milliseconds since 1970-01-01T00:00:00Z.
using UtcMilliseconds = std::int64_t;

// Where a report came from.
enum class ReportSource : std::uint8_t { Broadcast, Serial, Socket };

// The photometer's channels in the order the data file gives them: the instrument's channels
// 1 (740 nm), 2 (640 nm), 3 (red), the green derived from them, and 4 (blue).
enum class ChannelId : std::uint8_t { C740, C640, Red, Green, Blue };
inline constexpr std::size_t kChannelCount = 5;
// The instrument's own channels, 1 to 4.
inline constexpr std::array<ChannelId, 4> kInstrumentChannels{ChannelId::C740, ChannelId::C640,
                                                              ChannelId::Red, ChannelId::Blue};

// What one channel measured.
struct Channel {
    float mag = 0;        // sky brightness, mag/arcsec²
    float freq = 0;       // Hz
    float zeroPoint = 0;  // the instrument constant its brightness was worked out with
};

// One decoded report, as numbers: what every output of the station is fed with.
struct Observation {
    UtcMilliseconds time = 0;  // when it was decoded
    ReportSource source = ReportSource::Broadcast;
    std::string station;  // the station's name, 8-bit text as configured
    // The derived green carries channel 2's zero point.
    std::array<Channel, kChannelCount> channels{};
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

    Channel& operator[](ChannelId id) { return channels[static_cast<std::size_t>(id)]; }
    const Channel& operator[](ChannelId id) const { return channels[static_cast<std::size_t>(id)]; }
};

// The means of one channel over a record's interval.
struct ChannelMeans {
    double mag = 0, freq = 0;
    std::int32_t reports = 0;  // reports in the means
};

// The means of one data-file record, as the data-file line prints them.
struct IntervalRecord {
    UtcMilliseconds start = 0;  // the end of the previous record, or the first report's time
    UtcMilliseconds end = 0;
    QDateTime localEnd;  // the same instant on the station's clock, for the data-file line
    // The interval's means, computed in double precision from the single-precision sums; 0
    // for a channel without reports.
    std::array<ChannelMeans, kChannelCount> channels{};
    // Means that rest on a report whose value was no number (read as 0, as the data file has
    // always taken it): unknown to every other output. Bits by `Reading`.
    std::uint32_t unread = 0;
    // The newest chart point's temperature means when its interval measured them; unknown
    // before this run's first chart point and while the sensors give none.
    std::optional<float> sensorTemperature, skyTemperature;
    // The same means as the day table holds them, which the data-file line prints: a chart
    // point without temperatures repeats the previous one's, and before any point there are
    // the saved history's, or 0.
    float dayTableSensorTemperature = 0, dayTableSkyTemperature = 0;

    ChannelMeans& operator[](ChannelId id) { return channels[static_cast<std::size_t>(id)]; }
    const ChannelMeans& operator[](ChannelId id) const {
        return channels[static_cast<std::size_t>(id)];
    }
};

// One chart point: the chart interval's means, as kept in the day tables.
struct ChartPoint {
    UtcMilliseconds time = 0;
    std::array<float, kChannelCount> mag{};
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
