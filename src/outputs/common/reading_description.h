#pragma once

#include "core/day_tables.h"
#include "core/observation.h"

#include <span>

namespace noxa {

// A Prometheus metric family that readings are samples of.
struct MetricFamily {
    const char* name;
    const char* help;
};

// How the outputs show one number of an observation. The readings' JSON, the chart history,
// the metrics, Home Assistant's discovery and Alpaca's ObservingConditions all take their
// names, units and precisions from here.
struct ReadingDescription {
    // Where the value is kept in an observation, and what is shown of it (nullptr: as it is).
    float Observation::*field;
    float (*shown)(float) = nullptr;
    // Its key in the readings' JSON and the MQTT state; nullptr: in neither.
    const char* key = nullptr;
    // Its mean in a slot of the chart history; nullptr: not charted.
    float DaySlot::*chartMean = nullptr;
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

// Every reading the outputs show, in the order Home Assistant lists them; within a metric
// family, in the order of its samples.
std::span<const ReadingDescription> ReadingDescriptions();

// The metric families of the readings, in the order they are exposed.
std::span<const MetricFamily* const> ReadingMetricFamilies();

// What is shown of a value kept as `raw`.
float ShownValue(const ReadingDescription& reading, float raw);
inline float ShownValue(const ReadingDescription& reading, const Observation& observation) {
    return ShownValue(reading, observation.*reading.field);
}

}  // namespace noxa
