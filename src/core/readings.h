#pragma once

#include "core/day_tables.h"
#include "core/observation.h"
#include "core/sky_quality.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace noxa {

// The values of an observation that can be known or unknown, each on its own, in the order of
// kReadings.
enum class Reading : std::uint8_t {
    MagV,
    MagV2,
    MagR,
    MagG,
    MagB,
    SensorTemperature,
    SkyTemperature,
    Nelm,
    CloudIndex,
    SunAltitude,
    MoonAltitude,
    MoonIllumination,
    Freq1,
    Freq2,
    Freq3,
    FreqG,
    Freq4,
    Count
};
inline constexpr std::size_t kReadingCount = static_cast<std::size_t>(Reading::Count);
static_assert(kReadingCount <= 32, "reading sets are 32-bit masks");

constexpr std::size_t Index(Reading reading) {
    return static_cast<std::size_t>(reading);
}
constexpr std::uint32_t Bit(Reading reading) {
    return std::uint32_t{1} << Index(reading);
}

// Where a reading is kept in an observation: a value of a channel, or one of its own.
struct ReadingField {
    ChannelId channel = ChannelId::C740;
    float Channel::*member = nullptr;
    float Observation::*scalar = nullptr;

    constexpr float Of(const Observation& o) const {
        return scalar ? o.*scalar : o[channel].*member;
    }
    constexpr float& Of(Observation& o) const { return scalar ? o.*scalar : o[channel].*member; }
};

// How the station names one channel wherever it shows it.
struct ChannelDescription {
    ChannelId id;
    Reading mag, freq;
    const char* magKey;         // in the readings' JSON, the MQTT state and record, the archive
    const char* freqKey;        // in the readings' JSON and the MQTT state; nullptr: in neither
    const char* recordFreqKey;  // in the record and the archive
    const char* reportsKey;     // its count in the record; nullptr: counted with channel 1's
    const char* metricLabel;
    const char* brightnessName;  // Home Assistant's sensors
    const char* frequencyName;   // nullptr: none
    float DaySlot::*chartMean;
};

inline constexpr std::array<ChannelDescription, kChannelCount> kChannels{{
    {ChannelId::C740, Reading::MagV, Reading::Freq1, "mag_v", "freq_1", "freq_v", "reports",
     "channel=\"740nm\"", "Sky brightness 740 nm", "Channel 1 frequency", &DaySlot::meanMv740},
    {ChannelId::C640, Reading::MagV2, Reading::Freq2, "mag_v2", "freq_2", "freq_v2", nullptr,
     "channel=\"640nm\"", "Sky brightness 640 nm", "Channel 2 frequency", &DaySlot::meanMv640},
    {ChannelId::Red, Reading::MagR, Reading::Freq3, "mag_r", "freq_3", "freq_r", "reports_r",
     "channel=\"red\"", "Sky brightness red", "Channel 3 frequency", &DaySlot::meanMvR},
    // The derived green's frequency is a metric only.
    {ChannelId::Green, Reading::MagG, Reading::FreqG, "mag_g", nullptr, "freq_g", "reports_g",
     "channel=\"green\"", "Sky brightness green", nullptr, &DaySlot::meanMvG},
    {ChannelId::Blue, Reading::MagB, Reading::Freq4, "mag_b", "freq_4", "freq_b", "reports_b",
     "channel=\"blue\"", "Sky brightness blue", "Channel 4 frequency", &DaySlot::meanMvB},
}};

// A Prometheus metric family that readings are samples of.
struct MetricFamily {
    const char* name;
    const char* help;
};

inline constexpr MetricFamily kBrightnessMetric{
    "noxa_sky_brightness",
    "Sky brightness in mag/arcsec^2 by channel (740nm, 640nm, red, green, blue)."};
inline constexpr MetricFamily kFrequencyMetric{
    "noxa_frequency_hertz",
    "Frequency in Hz by channel (740nm, 640nm, red, green, blue); green is derived."};
inline constexpr MetricFamily kTemperatureMetric{
    "noxa_temperature_celsius",
    "Temperature in degrees Celsius (sensor: the instrument's, sky: infrared)."};
inline constexpr MetricFamily kCloudCoverMetric{
    "noxa_cloud_cover_percent",
    "Cloud cover estimate, 0 to 100 percent, a mean over the chart interval."};
inline constexpr MetricFamily kNelmMetric{
    "noxa_nelm", "Naked-eye limiting magnitude, from the chart interval's mean."};
inline constexpr MetricFamily kSunAltitudeMetric{
    "noxa_sun_altitude_degrees", "Altitude of the Sun's centre, without refraction."};
inline constexpr MetricFamily kMoonAltitudeMetric{
    "noxa_moon_altitude_degrees",
    "Altitude of the Moon's centre, topocentric, without refraction."};
inline constexpr MetricFamily kMoonIlluminationMetric{
    "noxa_moon_illumination_ratio", "Illuminated fraction of the Moon's disc, 0 to 1."};

// The metric families of the readings, in the order they are exposed.
inline constexpr std::array<const MetricFamily*, 8> kReadingMetricFamilies{
    &kBrightnessMetric, &kFrequencyMetric,   &kTemperatureMetric,  &kCloudCoverMetric,
    &kNelmMetric,       &kSunAltitudeMetric, &kMoonAltitudeMetric, &kMoonIlluminationMetric,
};

// One number of an observation, and how every output shows it: the readings' JSON and the MQTT
// state, the record and the archive's columns, the chart history, the metrics, Home Assistant's
// discovery and Alpaca's ObservingConditions all take their names, units and precisions here.
struct ReadingDescription {
    Reading id;
    ReadingField field;
    // What is shown of it (nullptr: the value as it is).
    float (*shown)(float) = nullptr;
    // Its key in the readings' JSON and the MQTT state; nullptr: in neither.
    const char* key = nullptr;
    // Its key in the record and the archive; nullptr: in neither.
    const char* recordKey = nullptr;
    // Its mean in a slot of the chart history; nullptr: not charted.
    float DaySlot::*chartMean = nullptr;
    // An estimate: the readings it rests on (a mask of `Bit`s). It is unknown whenever one of
    // them is, and rests only on means taken since the last failure of each.
    std::uint32_t restsOn = 0;
    // Home Assistant's sensor of it (nullptr name: none): its unit (nullptr: a plain number),
    // device class (nullptr: none), the decimals shown, whether it is a diagnostic, and the
    // value template (nullptr: the key's value as it is). Every one is a measurement.
    const char* haName = nullptr;
    const char* unit = nullptr;
    const char* haDeviceClass = nullptr;
    int precision = 0;
    bool diagnostic = false;
    const char* haValueTemplate = nullptr;
    // Its Prometheus family and the label that tells it from the family's other samples
    // (nullptr: the station's name alone).
    const MetricFamily* metric = nullptr;
    const char* metricLabel = nullptr;
    // The ObservingConditions member that gives it and how that sensor is described.
    const char* alpacaMember = nullptr;
    const char* alpacaDescription = nullptr;
};

namespace reading_rows {

inline constexpr char kSkyUnit[] = "mag/arcsec²";
// The state carries the lit fraction 0..1; Home Assistant shows it in %. A null stays null.
inline constexpr char kMoonPercent[] =
    "{{ value_json.moon_illumination * 100 if value_json.moon_illumination is number else None }}";

constexpr ReadingField Own(float Observation::*scalar) {
    return {.scalar = scalar};
}

// A channel's sky brightness.
constexpr ReadingDescription Brightness(ChannelId id) {
    const ChannelDescription& c = kChannels[static_cast<std::size_t>(id)];
    return {.id = c.mag,
            .field = {.channel = id, .member = &Channel::mag},
            .key = c.magKey,
            .recordKey = c.magKey,
            .chartMean = c.chartMean,
            .haName = c.brightnessName,
            .unit = kSkyUnit,
            .precision = 2,
            .metric = &kBrightnessMetric,
            .metricLabel = c.metricLabel};
}

// A channel's frequency, a diagnostic in Home Assistant.
constexpr ReadingDescription Frequency(ChannelId id) {
    const ChannelDescription& c = kChannels[static_cast<std::size_t>(id)];
    return {.id = c.freq,
            .field = {.channel = id, .member = &Channel::freq},
            .key = c.freqKey,
            .recordKey = c.recordFreqKey,
            .haName = c.frequencyName,
            .unit = "Hz",
            .haDeviceClass = "frequency",
            .precision = 3,
            .diagnostic = true,
            .metric = &kFrequencyMetric,
            .metricLabel = c.metricLabel};
}

constexpr ReadingDescription WithAlpaca(ReadingDescription reading, const char* member,
                                        const char* description) {
    reading.alpacaMember = member;
    reading.alpacaDescription = description;
    return reading;
}

}  // namespace reading_rows

// Every reading, in the order of `Reading`, which is the order Home Assistant lists them in;
// within a metric family, in the order of its samples.
inline constexpr std::array<ReadingDescription, kReadingCount> kReadings{{
    reading_rows::WithAlpaca(reading_rows::Brightness(ChannelId::C740), "skyquality",
                             "Sky brightness of channel 1 (740 nm) in mag/arcsec²"),
    reading_rows::Brightness(ChannelId::C640),
    reading_rows::Brightness(ChannelId::Red),
    reading_rows::Brightness(ChannelId::Green),
    reading_rows::Brightness(ChannelId::Blue),
    {.id = Reading::SensorTemperature,
     .field = reading_rows::Own(&Observation::sensorTemperature),
     .key = "temperature",
     .recordKey = "temperature",
     .chartMean = &DaySlot::meanTSens,
     .haName = "Sensor temperature",
     .unit = "°C",
     .haDeviceClass = "temperature",
     .precision = 1,
     .metric = &kTemperatureMetric,
     .metricLabel = "sensor=\"sensor\"",
     .alpacaMember = "temperature",
     .alpacaDescription = "Temperature of the photometer's sensor in °C"},
    {.id = Reading::SkyTemperature,
     .field = reading_rows::Own(&Observation::skyTemperature),
     .key = "sky_temperature",
     .recordKey = "sky_temperature",
     .chartMean = &DaySlot::meanTIR,
     .haName = "Sky temperature",
     .unit = "°C",
     .haDeviceClass = "temperature",
     .precision = 1,
     .metric = &kTemperatureMetric,
     .metricLabel = "sensor=\"sky\"",
     .alpacaMember = "skytemperature",
     .alpacaDescription = "Infrared sky temperature in °C"},
    {.id = Reading::Nelm,
     .field = reading_rows::Own(&Observation::nelm),
     .key = "nelm",
     .chartMean = &DaySlot::nelm,
     .restsOn = Bit(Reading::MagV),
     .haName = "Naked-eye limiting magnitude",
     .unit = "mag",
     .precision = 2,
     .metric = &kNelmMetric},
    {.id = Reading::CloudIndex,
     .field = reading_rows::Own(&Observation::cloudIndex),
     .shown = &CloudCoverPercent,
     .key = "cloud_cover",
     .chartMean = &DaySlot::cloudIndex,
     .restsOn = Bit(Reading::SensorTemperature) | Bit(Reading::SkyTemperature),
     .haName = "Cloud cover",
     .unit = "%",
     .precision = 0,
     .metric = &kCloudCoverMetric,
     .alpacaMember = "cloudcover",
     .alpacaDescription = "Cloud cover in %, from the infrared sky and sensor temperatures"},
    {.id = Reading::SunAltitude,
     .field = reading_rows::Own(&Observation::sunAltitude),
     .key = "sun_altitude",
     .recordKey = "sun_altitude",
     .haName = "Sun altitude",
     .unit = "°",
     .precision = 1,
     .metric = &kSunAltitudeMetric},
    {.id = Reading::MoonAltitude,
     .field = reading_rows::Own(&Observation::moonAltitude),
     .key = "moon_altitude",
     .recordKey = "moon_altitude",
     .haName = "Moon altitude",
     .unit = "°",
     .precision = 1,
     .metric = &kMoonAltitudeMetric},
    {.id = Reading::MoonIllumination,
     .field = reading_rows::Own(&Observation::moonIllumination),
     .key = "moon_illumination",
     .recordKey = "moon_illumination",
     .haName = "Moon illuminated fraction",
     .unit = "%",
     .precision = 0,
     .haValueTemplate = reading_rows::kMoonPercent,
     .metric = &kMoonIlluminationMetric},
    reading_rows::Frequency(ChannelId::C740),
    reading_rows::Frequency(ChannelId::C640),
    reading_rows::Frequency(ChannelId::Red),
    reading_rows::Frequency(ChannelId::Green),
    reading_rows::Frequency(ChannelId::Blue),
}};

constexpr bool RowsFollowTheirNames() {
    for (std::size_t i = 0; i < kReadingCount; ++i)
        if (Index(kReadings[i].id) != i) return false;
    for (std::size_t i = 0; i < kChannelCount; ++i)
        if (static_cast<std::size_t>(kChannels[i].id) != i) return false;
    // An estimate comes after the readings it rests on, so one pass decides what is known.
    for (std::size_t i = 0; i < kReadingCount; ++i)
        if (kReadings[i].restsOn >> i) return false;
    return true;
}
static_assert(
    RowsFollowTheirNames(),
    "kReadings and kChannels are in the order of their ids, estimates after their inputs");

inline const ReadingDescription& Describe(Reading reading) {
    return kReadings[Index(reading)];
}
inline const ChannelDescription& Describe(ChannelId channel) {
    return kChannels[static_cast<std::size_t>(channel)];
}

// What is shown of a value kept as `raw`.
inline float ShownValue(const ReadingDescription& reading, float raw) {
    return reading.shown ? reading.shown(raw) : raw;
}
inline float ShownValue(const ReadingDescription& reading, const Observation& observation) {
    return ShownValue(reading, reading.field.Of(observation));
}

// Whether a record's mean of `reading` of channel `c` is known: it had reports, and none of
// them held no number for it.
inline bool MeanKnown(const IntervalRecord& record, const ChannelDescription& c, Reading reading) {
    return record[c.id].reports > 0 && !(record.unread & Bit(reading));
}

// The record's measured values, each null when unknown, as the archive keeps them: the
// channels' brightnesses, then their frequencies, then the other readings a record carries.
constexpr std::size_t RecordMeasureCount() {
    std::size_t count = 2 * kChannelCount;
    for (const ReadingDescription& r : kReadings)
        if (r.recordKey && r.field.scalar) ++count;
    return count;
}
constexpr std::array<const char*, RecordMeasureCount()> RecordMeasureKeys() {
    std::array<const char*, RecordMeasureCount()> keys{};
    std::size_t next = 0;
    for (const ChannelDescription& c : kChannels) keys[next++] = c.magKey;
    for (const ChannelDescription& c : kChannels) keys[next++] = c.recordFreqKey;
    for (const ReadingDescription& r : kReadings)
        if (r.recordKey && r.field.scalar) keys[next++] = r.recordKey;
    return keys;
}
// The record's report counts, one per channel that is counted on its own.
constexpr std::size_t RecordCountCount() {
    std::size_t count = 0;
    for (const ChannelDescription& c : kChannels)
        if (c.reportsKey) ++count;
    return count;
}
constexpr std::array<const char*, RecordCountCount()> RecordCountKeys() {
    std::array<const char*, RecordCountCount()> keys{};
    std::size_t next = 0;
    for (const ChannelDescription& c : kChannels)
        if (c.reportsKey) keys[next++] = c.reportsKey;
    return keys;
}

}  // namespace noxa
