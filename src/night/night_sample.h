#pragma once

#include "core/observation.h"

#include <QDate>
#include <QTimeZone>

#include <array>
#include <string>
#include <vector>

namespace noxa {

// The sky-brightness channels, in the order of every night's arrays: the station's five, then
// the one channel of single-channel loggers ("MSAS" in their files), whose filter is theirs.
inline constexpr int kNightChannels = 6;
inline constexpr int kStationChannels = 5;
inline constexpr int kSingleChannel = 5;
inline constexpr std::array<const char*, kNightChannels> kNightChannelNames = {
    "740 nm", "640 nm", "red", "green", "blue", "MSAS"};

// One record of a night: the interval's means, timed at the interval's end, with where the Sun
// and the Moon stood then. A value its file did not give is NaN.
struct NightSample {
    UtcMilliseconds time = 0;
    // Sky brightness in mag/arcsec² per channel; 0 or less when the channel had no reading.
    std::array<float, kNightChannels> mag{};
    float sensorTemperature = 0, skyTemperature = 0;  // °C
    float sunAltitude = 0, moonAltitude = 0;          // degrees, geometric
    float moonIllumination = 0;                       // 0..1
    float cloudCover = 0;                             // %, 0..100
};

// One night, local noon to local noon, its samples in time order.
struct Night {
    QDate date;  // the local date on which the night began
    QTimeZone zone;
    std::vector<NightSample> samples;
    // The instrument that measured it, as a name fit for a file name; empty for the station's
    // own instrument.
    std::string instrument;
};

}  // namespace noxa
