#pragma once

#include "night/night_sample.h"

#include <QRectF>
#include <QTimeZone>

#include <cmath>
#include <initializer_list>
#include <vector>

namespace noxa {

inline constexpr UtcMilliseconds kChartMinuteMs = 60 * 1000;
inline constexpr UtcMilliseconds kChartHourMs = 60 * kChartMinuteMs;

// A brightness of a channel that had a reading: neither missing (NaN) nor 0 or less.
inline bool HasReading(float mag) {
    return std::isfinite(mag) && mag > 0;
}

// The local times a night's chart shows.
struct ChartSpan {
    UtcMilliseconds from = 0, to = 1;
};

// The brightness axis, darker (larger) magnitudes at the top.
struct MagnitudeRange {
    double top = 22, bottom = 16;
};

// The plot area and the values it shows, and the strip of the cloud cover under it, empty
// without cloud cover; maps times, magnitudes, altitudes and cloud cover to pixels.
struct ChartFrame {
    QRectF plot;
    QRectF cloudStrip;
    ChartSpan span;
    MagnitudeRange magnitudes;

    double X(UtcMilliseconds t) const {
        return plot.left() + plot.width() * static_cast<double>(t - span.from) /
                                 static_cast<double>(span.to - span.from);
    }
    double YMag(double m) const {
        return plot.top() +
               plot.height() * (magnitudes.top - m) / (magnitudes.top - magnitudes.bottom);
    }
    // Altitude in degrees, -90 at the bottom and +90 at the top.
    double YAlt(double degrees) const { return plot.top() + plot.height() * (90 - degrees) / 180; }
    // Cloud cover in %, 0 at the strip's bottom and 100 at its top.
    double YCloud(double percent) const {
        return cloudStrip.bottom() - cloudStrip.height() * percent / 100;
    }
};

// Sunset to sunrise with half an hour either side, or every sample when the Sun never sets or
// never rises; an hour at least, two days at most. `samples` must not be empty.
ChartSpan NightSpan(const std::vector<NightSample>& samples);

// Whole or half magnitudes around the readings in `span`, fitted to the part of the night with
// the Sun 6° down when that is a quarter of the span or more; 22 to 16 when there are none.
MagnitudeRange FitMagnitudes(const std::vector<NightSample>& samples, ChartSpan span);

// The first of `steps` (ascending) that leaves `minPixels` between ticks, else the last.
double NiceStep(double range, double pixels, double minPixels, std::initializer_list<double> steps);

// Multiples of `step` from the bottom of the range to its top.
std::vector<double> MagnitudeTicks(MagnitudeRange range, double step);

// Every -90, -90 + step, ... up to +90 degrees.
std::vector<double> AltitudeTicks(double step);

// A full local hour divisible by `hourStep`, within the span.
struct HourTick {
    UtcMilliseconds time = 0;
    int hour = 0;  // local, 0..23
};
std::vector<HourTick> HourTicks(ChartSpan span, const QTimeZone& zone, int hourStep);

}  // namespace noxa
