#include "night/night_columns.h"

#include "core/sky_quality.h"
#include "night/text_fields.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

namespace noxa {
namespace {

// What a known column holds. Some are known but not used here (counts, frequencies, zero
// points): they are neither read nor reported.
enum class Holds {
    UtcTime,
    LocalTime,
    Date,
    Time,
    Magnitude,
    SensorTemperature,
    SkyTemperature,
    SunAltitude,
    MoonAltitude,
    MoonIllumination,
    NotUsed
};

struct KnownColumn {
    const char* name;  // in lower case
    Holds holds;
    int channel = -1;  // of a magnitude
};

constexpr KnownColumn kKnownColumns[] = {
    // The skyglow format's night files, the station's and other loggers'.
    {"utc date & time", Holds::UtcTime},
    {"local date & time", Holds::LocalTime},
    {"temperature", Holds::SensorTemperature},
    {"sky temperature", Holds::SkyTemperature},
    {"msas1", Holds::Magnitude, 0},
    {"msas2", Holds::Magnitude, 1},
    {"msasr", Holds::Magnitude, 2},
    {"msasg", Holds::Magnitude, 3},
    {"msasb", Holds::Magnitude, 4},
    {"msas", Holds::Magnitude, kSingleChannel},
    {"sun altitude", Holds::SunAltitude},
    {"moon altitude", Holds::MoonAltitude},
    {"moon illumination", Holds::MoonIllumination},
    {"counts", Holds::NotUsed},
    {"frequency", Holds::NotUsed},
    {"zp", Holds::NotUsed},
    {"freq1", Holds::NotUsed},
    {"freq2", Holds::NotUsed},
    {"freqr", Holds::NotUsed},
    {"freqg", Holds::NotUsed},
    {"freqb", Holds::NotUsed},
    // The station's monthly data files.
    {"date", Holds::Date},
    {"time", Holds::Time},
    {"mv-740", Holds::Magnitude, 0},
    {"mv-640", Holds::Magnitude, 1},
    {"mv-r", Holds::Magnitude, 2},
    {"mv-g", Holds::Magnitude, 3},
    {"mv-b", Holds::Magnitude, 4},
    {"t-sens", Holds::SensorTemperature},
    {"t-ir", Holds::SkyTemperature},
    {"frec-740", Holds::NotUsed},
    {"frec-640", Holds::NotUsed},
    {"frec-r", Holds::NotUsed},
    {"frec-g", Holds::NotUsed},
    {"frec-b", Holds::NotUsed},
};

const KnownColumn* Known(std::string_view name) {
    std::string lower(Trimmed(name));
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    for (const KnownColumn& column : kKnownColumns)
        if (lower == column.name) return &column;
    return nullptr;
}

// The place that holds `column`'s value, or nullptr for a column not used here.
int* PlaceOf(NightColumns& columns, const KnownColumn& column) {
    switch (column.holds) {
        case Holds::UtcTime:
            return &columns.utc;
        case Holds::LocalTime:
            return &columns.local;
        case Holds::Date:
            return &columns.date;
        case Holds::Time:
            return &columns.time;
        case Holds::Magnitude:
            return &columns.mags[size_t(column.channel)];
        case Holds::SensorTemperature:
            return &columns.sensor;
        case Holds::SkyTemperature:
            return &columns.sky;
        case Holds::SunAltitude:
            return &columns.sun;
        case Holds::MoonAltitude:
            return &columns.moon;
        case Holds::MoonIllumination:
            return &columns.moonLit;
        case Holds::NotUsed:
            break;
    }
    return nullptr;
}

float CloudCover(float sensor, float sky) {
    if (!std::isfinite(sensor) || !std::isfinite(sky))
        return std::numeric_limits<float>::quiet_NaN();
    return std::clamp(CloudIndex(sensor, sky), 0.f, 100.f);
}

}  // namespace

bool NightColumns::HasValues() const {
    return sensor >= 0 || sky >= 0 ||
           std::any_of(mags.begin(), mags.end(), [](int at) { return at >= 0; });
}

NightColumns PlaceColumns(const std::vector<std::string_view>& names) {
    NightColumns columns;
    for (size_t i = 0; i < names.size(); ++i) {
        if (Trimmed(names[i]).empty()) continue;
        const KnownColumn* known = Known(names[i]);
        int* place = known ? PlaceOf(columns, *known) : nullptr;
        if (known && !place) continue;
        if (!place || *place >= 0) {
            columns.unknown.emplace_back(Trimmed(names[i]));
            continue;
        }
        *place = int(i);
    }
    // The station's night files put channel 1 in the one-channel layout's "MSAS" and name
    // their other channels beside it: there "MSAS" is 740 nm, not a logger's own channel.
    int& single = columns.mags[kSingleChannel];
    const bool stationChannels = std::any_of(columns.mags.begin() + 1, columns.mags.begin() + 5,
                                             [](int at) { return at >= 0; });
    if (single >= 0 && stationChannels && columns.mags[0] < 0) std::swap(single, columns.mags[0]);
    return columns;
}

bool ReadValues(const NightColumns& columns, const std::string_view* fields, size_t count,
                NightSample& sample) {
    bool read = false;
    const auto number = [&](int at, bool measured) {
        constexpr float kUnknown = std::numeric_limits<float>::quiet_NaN();
        float value;
        if (at < 0 || size_t(at) >= count) return kUnknown;
        if (ParseFloat(fields[at], value)) {
            read = read || measured;
            return value;
        }
        // The format's word for a value not measured is read as well: the value is unknown.
        if (IsUnknownValue(fields[at])) read = read || measured;
        return kUnknown;
    };
    for (size_t c = 0; c < columns.mags.size(); ++c) {
        const float mag = number(columns.mags[c], true);
        sample.mag[c] = std::isfinite(mag) ? mag : 0.f;
    }
    sample.sensorTemperature = number(columns.sensor, true);
    sample.skyTemperature = number(columns.sky, true);
    sample.sunAltitude = number(columns.sun, false);
    sample.moonAltitude = number(columns.moon, false);
    sample.moonIllumination = number(columns.moonLit, false);
    sample.cloudCover = CloudCover(sample.sensorTemperature, sample.skyTemperature);
    return read;
}

}  // namespace noxa
