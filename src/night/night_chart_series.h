#pragma once

#include "night/night_chart_scales.h"

#include <QPolygonF>

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace noxa {

// The longest step between two samples that a line still joins: three times their usual
// spacing (the median step; a minute for fewer than two samples, a second at least).
UtcMilliseconds GapLimit(const std::vector<NightSample>& samples);

// Where the samples run on without a step longer than `gap`: the index just past each run.
std::vector<std::size_t> RunEnds(const std::vector<NightSample>& samples, UtcMilliseconds gap);

// The background by the Sun's altitude.
enum class Shade { Day, Twilight, AstronomicalNight };

struct ShadeSpan {
    UtcMilliseconds from = 0, to = 0;
    Shade shade = Shade::Day;
};

// The spans of twilight and astronomical night, in time order, each as long as possible.
// Crossings between two samples closer than `gap` are interpolated, a longer gap is split at
// its middle; the last span lasts until `until` or the last sample. Day is left out.
std::vector<ShadeSpan> ShadeSpans(const std::vector<NightSample>& samples, UtcMilliseconds gap,
                                  UtcMilliseconds until);

// The y pixel of a sample's value in one series, or nothing where the value is missing.
using SeriesValue = std::function<std::optional<double>(const NightSample&)>;

// One series as lines, broken at the run ends and where a value is missing. Only what lies
// in the frame's span is taken, with a neighbour either side. A run may be a single point.
std::vector<QPolygonF> SeriesRuns(const ChartFrame& frame, const std::vector<NightSample>& samples,
                                  const std::vector<std::size_t>& runEnds,
                                  const SeriesValue& value);

// The Moon's lit fraction (0..1) of the sample closest to `time` that knows it.
std::optional<float> MoonLitAt(const std::vector<NightSample>& samples, UtcMilliseconds time);

}  // namespace noxa
