#include "outputs/common/reading_description.h"

#include "outputs/common/latest_readings.h"

namespace noxa {
namespace {

constexpr MetricFamily kBrightness{
    "noxa_sky_brightness",
    "Sky brightness in mag/arcsec^2 by channel (740nm, 640nm, red, green, blue)."};
constexpr MetricFamily kFrequency{
    "noxa_frequency_hertz",
    "Frequency in Hz by channel (740nm, 640nm, red, green, blue); green is derived."};
constexpr MetricFamily kTemperature{
    "noxa_temperature_celsius",
    "Temperature in degrees Celsius (sensor: the instrument's, sky: infrared)."};
constexpr MetricFamily kCloudCover{
    "noxa_cloud_cover_percent",
    "Cloud cover estimate, 0 to 100 percent, a mean over the chart interval."};
constexpr MetricFamily kNelm{"noxa_nelm",
                             "Naked-eye limiting magnitude, from the chart interval's mean."};
constexpr MetricFamily kSunAltitude{"noxa_sun_altitude_degrees",
                                    "Altitude of the Sun's centre, without refraction."};
constexpr MetricFamily kMoonAltitude{
    "noxa_moon_altitude_degrees",
    "Altitude of the Moon's centre, topocentric, without refraction."};
constexpr MetricFamily kMoonIllumination{"noxa_moon_illumination_ratio",
                                         "Illuminated fraction of the Moon's disc, 0 to 1."};

constexpr const MetricFamily* kFamilies[] = {
    &kBrightness, &kFrequency,   &kTemperature,  &kCloudCover,
    &kNelm,       &kSunAltitude, &kMoonAltitude, &kMoonIllumination,
};

constexpr char kSkyUnit[] = "mag/arcsec²";

// The state carries the lit fraction 0..1; Home Assistant shows it in %. A null stays null.
constexpr char kMoonPercent[] =
    "{{ value_json.moon_illumination * 100 if value_json.moon_illumination is number else None }}";

// A sky brightness of one channel.
constexpr ReadingDescription Brightness(float Observation::*field, const char* key,
                                        float DaySlot::*chartMean, const char* name,
                                        const char* channel) {
    return {.field = field,
            .key = key,
            .chartMean = chartMean,
            .haName = name,
            .unit = kSkyUnit,
            .precision = 2,
            .metric = &kBrightness,
            .metricLabel = channel};
}

// A channel's frequency, a diagnostic in Home Assistant.
constexpr ReadingDescription Frequency(float Observation::*field, const char* key, const char* name,
                                       const char* channel) {
    return {.field = field,
            .key = key,
            .haName = name,
            .unit = "Hz",
            .haDeviceClass = "frequency",
            .precision = 3,
            .diagnostic = true,
            .metric = &kFrequency,
            .metricLabel = channel};
}

// A reading that an ObservingConditions member gives too.
constexpr ReadingDescription WithAlpaca(ReadingDescription reading, const char* member,
                                        const char* description) {
    reading.alpacaMember = member;
    reading.alpacaDescription = description;
    return reading;
}

const ReadingDescription kReadings[] = {
    WithAlpaca(Brightness(&Observation::magV, "mag_v", &DaySlot::meanMv740, "Sky brightness 740 nm",
                          "channel=\"740nm\""),
               "skyquality", "Sky brightness of channel 1 (740 nm) in mag/arcsec²"),
    Brightness(&Observation::magV2, "mag_v2", &DaySlot::meanMv640, "Sky brightness 640 nm",
               "channel=\"640nm\""),
    Brightness(&Observation::magR, "mag_r", &DaySlot::meanMvR, "Sky brightness red",
               "channel=\"red\""),
    Brightness(&Observation::magG, "mag_g", &DaySlot::meanMvG, "Sky brightness green",
               "channel=\"green\""),
    Brightness(&Observation::magB, "mag_b", &DaySlot::meanMvB, "Sky brightness blue",
               "channel=\"blue\""),
    {.field = &Observation::sensorTemperature,
     .key = "temperature",
     .chartMean = &DaySlot::meanTSens,
     .haName = "Sensor temperature",
     .unit = "°C",
     .haDeviceClass = "temperature",
     .precision = 1,
     .metric = &kTemperature,
     .metricLabel = "sensor=\"sensor\"",
     .alpacaMember = "temperature",
     .alpacaDescription = "Temperature of the photometer's sensor in °C"},
    {.field = &Observation::skyTemperature,
     .key = "sky_temperature",
     .chartMean = &DaySlot::meanTIR,
     .haName = "Sky temperature",
     .unit = "°C",
     .haDeviceClass = "temperature",
     .precision = 1,
     .metric = &kTemperature,
     .metricLabel = "sensor=\"sky\"",
     .alpacaMember = "skytemperature",
     .alpacaDescription = "Infrared sky temperature in °C"},
    {.field = &Observation::nelm,
     .key = "nelm",
     .chartMean = &DaySlot::nelm,
     .haName = "Naked-eye limiting magnitude",
     .unit = "mag",
     .precision = 2,
     .metric = &kNelm},
    {.field = &Observation::cloudIndex,
     .shown = &CloudCoverPercent,
     .key = "cloud_cover",
     .chartMean = &DaySlot::cloudIndex,
     .haName = "Cloud cover",
     .unit = "%",
     .precision = 0,
     .metric = &kCloudCover,
     .alpacaMember = "cloudcover",
     .alpacaDescription = "Cloud cover in %, from the infrared sky and sensor temperatures"},
    {.field = &Observation::sunAltitude,
     .key = "sun_altitude",
     .haName = "Sun altitude",
     .unit = "°",
     .precision = 1,
     .metric = &kSunAltitude},
    {.field = &Observation::moonAltitude,
     .key = "moon_altitude",
     .haName = "Moon altitude",
     .unit = "°",
     .precision = 1,
     .metric = &kMoonAltitude},
    {.field = &Observation::moonIllumination,
     .key = "moon_illumination",
     .haName = "Moon illuminated fraction",
     .unit = "%",
     .precision = 0,
     .haValueTemplate = kMoonPercent,
     .metric = &kMoonIllumination},
    Frequency(&Observation::freq1, "freq_1", "Channel 1 frequency", "channel=\"740nm\""),
    Frequency(&Observation::freq2, "freq_2", "Channel 2 frequency", "channel=\"640nm\""),
    Frequency(&Observation::freq3, "freq_3", "Channel 3 frequency", "channel=\"red\""),
    // The derived green channel is a metric only.
    {.field = &Observation::freqG, .metric = &kFrequency, .metricLabel = "channel=\"green\""},
    Frequency(&Observation::freq4, "freq_4", "Channel 4 frequency", "channel=\"blue\""),
};

}  // namespace

std::span<const ReadingDescription> ReadingDescriptions() {
    return kReadings;
}

std::span<const MetricFamily* const> ReadingMetricFamilies() {
    return kFamilies;
}

float ShownValue(const ReadingDescription& reading, float raw) {
    return reading.shown ? reading.shown(raw) : raw;
}

}  // namespace noxa
