#include "night/night_chart_scales.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <utility>

namespace noxa {
namespace {

constexpr UtcMilliseconds kSpanMarginMs = 30 * kChartMinuteMs;

}  // namespace

ChartSpan NightSpan(const std::vector<NightSample>& samples) {
    const UtcMilliseconds first = samples.front().time, last = samples.back().time;
    auto below = [](const NightSample& s) { return s.sunAltitude < 0; };
    const auto set = std::find_if(samples.begin(), samples.end(), below);
    const auto rise = std::find_if(samples.rbegin(), samples.rend(), below);
    UtcMilliseconds from = first, to = last;
    if (set != samples.end()) {
        from = std::max(first, set->time - kSpanMarginMs);
        to = std::min(last, rise->time + kSpanMarginMs);
    }
    if (to - from < kChartHourMs) {
        const UtcMilliseconds middle = from + (to - from) / 2;
        from = middle - kChartHourMs / 2;
        to = middle + kChartHourMs / 2;
    }
    // A night is a day long at most; records beyond (a clock that jumped) fall off the chart.
    to = std::min(to, from + 48 * kChartHourMs);
    return {from, to};
}

// Twilight's bright readings would squeeze the dark hours: they run off the bottom instead.
// Readings outside what a sky can show stay off the chart too.
MagnitudeRange FitMagnitudes(const std::vector<NightSample>& samples, ChartSpan span) {
    int inSpan = 0, dark = 0;
    const auto range = [&](bool darkOnly) {
        float low = 1e9f, high = -1e9f;
        for (const NightSample& s : samples) {
            if (s.time < span.from || s.time > span.to) continue;
            ++inSpan;
            if (darkOnly && !(s.sunAltitude < -6)) continue;
            ++dark;
            for (float m : s.mag) {
                if (!HasReading(m) || m > 30) continue;
                low = std::min(low, m);
                high = std::max(high, m);
            }
        }
        return std::pair(low, high);
    };
    auto [low, high] = range(true);
    // A short dark spell (a summer night far north) would leave most of the night off the chart.
    if (low > high || dark * 4 < inSpan) std::tie(low, high) = range(false);
    if (low > high) return {};
    double top = std::ceil(high * 2) / 2, bottom = std::floor(low * 2) / 2;
    if (top - bottom < 1) {
        top += 0.5;
        bottom -= 0.5;
    }
    return {top, bottom};
}

double NiceStep(double range, double pixels, double minPixels,
                std::initializer_list<double> steps) {
    for (double step : steps) {
        if (pixels * step / range >= minPixels) return step;
    }
    return *(steps.end() - 1);
}

std::vector<double> MagnitudeTicks(MagnitudeRange range, double step) {
    std::vector<double> ticks;
    for (double m = std::ceil(range.bottom / step) * step; m <= range.top + 1e-9; m += step) {
        ticks.push_back(m);
    }
    return ticks;
}

std::vector<double> AltitudeTicks(double step) {
    std::vector<double> ticks;
    for (double a = -90; a <= 90; a += step) ticks.push_back(a);
    return ticks;
}

std::vector<HourTick> HourTicks(ChartSpan span, const QTimeZone& zone, int hourStep) {
    std::vector<HourTick> ticks;
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(span.from, zone);
    UtcMilliseconds t =
        QDateTime(start.date(), QTime(start.time().hour(), 0), zone).toMSecsSinceEpoch();
    if (t < span.from) t += kChartHourMs;
    for (; t <= span.to; t += kChartHourMs) {
        const int hour = QDateTime::fromMSecsSinceEpoch(t, zone).time().hour();
        if (hour % hourStep == 0) ticks.push_back({t, hour});
    }
    return ticks;
}

}  // namespace noxa
