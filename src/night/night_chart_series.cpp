#include "night/night_chart_series.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace noxa {
namespace {

constexpr float kAstronomicalNight = -18;

Shade ShadeAt(float altitude) {
    return altitude < kAstronomicalNight ? Shade::AstronomicalNight
           : altitude < 0                ? Shade::Twilight
                                         : Shade::Day;
}

// Collects spans of one shade, merging neighbours of the same shade so the bands have no seams.
class ShadeRuns {
public:
    ShadeRuns(UtcMilliseconds start, Shade shade) : start_(start), shade_(shade) {}

    Shade Current() const { return shade_; }

    void MoveTo(UtcMilliseconds t, Shade shade) {
        if (shade == shade_) return;
        Close(t);
        start_ = t;
        shade_ = shade;
    }

    std::vector<ShadeSpan> Finish(UtcMilliseconds end) {
        Close(end);
        return std::move(spans_);
    }

private:
    void Close(UtcMilliseconds end) {
        if (shade_ != Shade::Day && end > start_) spans_.push_back({start_, end, shade_});
    }

    UtcMilliseconds start_;
    Shade shade_;
    std::vector<ShadeSpan> spans_;
};

}  // namespace

UtcMilliseconds GapLimit(const std::vector<NightSample>& samples) {
    if (samples.size() < 2) return 3 * kChartMinuteMs;
    std::vector<UtcMilliseconds> steps;
    steps.reserve(samples.size() - 1);
    for (std::size_t i = 1; i < samples.size(); ++i) {
        steps.push_back(samples[i].time - samples[i - 1].time);
    }
    auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    return 3 * std::max<UtcMilliseconds>(*middle, 1000);
}

std::vector<std::size_t> RunEnds(const std::vector<NightSample>& samples, UtcMilliseconds gap) {
    std::vector<std::size_t> ends;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (samples[i].time - samples[i - 1].time > gap) ends.push_back(i);
    }
    ends.push_back(samples.size());
    return ends;
}

std::vector<ShadeSpan> ShadeSpans(const std::vector<NightSample>& samples, UtcMilliseconds gap,
                                  UtcMilliseconds until) {
    std::vector<std::pair<UtcMilliseconds, float>> sun;  // time, altitude where known
    sun.reserve(samples.size());
    for (const NightSample& s : samples) {
        if (std::isfinite(s.sunAltitude)) sun.emplace_back(s.time, s.sunAltitude);
    }
    if (sun.empty()) return {};
    ShadeRuns runs(sun.front().first, ShadeAt(sun.front().second));
    for (std::size_t i = 1; i < sun.size(); ++i) {
        const auto [ta, a] = sun[i - 1];
        const auto [tb, b] = sun[i];
        const Shade shade = ShadeAt(b);
        if (shade == runs.Current()) continue;
        if (tb - ta > gap) {
            runs.MoveTo(ta + (tb - ta) / 2, shade);
            continue;
        }
        // Each threshold crossed on the way, in order.
        const float limits[] = {0, kAstronomicalNight};
        const bool falling = b < a;
        for (int k = 0; k < 2; ++k) {
            const float limit = limits[falling ? k : 1 - k];
            if ((a < limit) == (b < limit)) continue;
            const double share = (limit - a) / (b - a);
            runs.MoveTo(ta + static_cast<UtcMilliseconds>(share * static_cast<double>(tb - ta)),
                        ShadeAt(falling ? limit - 0.001f : limit + 0.001f));
        }
        runs.MoveTo(tb, shade);
    }
    return runs.Finish(std::max(sun.back().first, until));
}

std::vector<QPolygonF> SeriesRuns(const ChartFrame& frame, const std::vector<NightSample>& samples,
                                  const std::vector<std::size_t>& runEnds,
                                  const SeriesValue& value) {
    std::vector<QPolygonF> runs;
    QPolygonF line;
    auto flush = [&] {
        if (!line.isEmpty()) runs.push_back(std::move(line));
        line = QPolygonF();
    };
    const ChartSpan span = frame.span;
    std::size_t begin = 0;
    for (std::size_t end : runEnds) {
        line.reserve(qsizetype(end - begin));
        for (std::size_t i = begin; i < end; ++i) {
            const NightSample& s = samples[i];
            if (s.time < span.from && i + 1 < end && samples[i + 1].time < span.from) continue;
            if (s.time > span.to && i > begin && samples[i - 1].time > span.to) break;
            const std::optional<double> y = value(s);
            if (!y) {
                flush();
                continue;
            }
            line.append(QPointF(frame.X(s.time), *y));
        }
        flush();
        begin = end;
    }
    return runs;
}

std::optional<float> MoonLitAt(const std::vector<NightSample>& samples, UtcMilliseconds time) {
    std::optional<float> lit;
    UtcMilliseconds litDistance = 0;
    for (const NightSample& s : samples) {
        const UtcMilliseconds distance = std::abs(s.time - time);
        if (std::isfinite(s.moonIllumination) && (!lit || distance < litDistance)) {
            lit = s.moonIllumination;
            litDistance = distance;
        }
    }
    return lit;
}

}  // namespace noxa
