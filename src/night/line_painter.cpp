#include "night/line_painter.h"

#include "night/float_lanes.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace noxa {
namespace {

// A pixel coordinate far outside any image (a value off the scale, not a number) kept within
// the range of int; every use clamps it to the clip rectangle anyway.
double Bounded(double v) {
    constexpr double kFar = 1e9;
    return v > -kFar ? std::min(v, kFar) : -kFar;
}

// Rounded down and up without a call into the maths library.
int Floor(double v) {
    v = Bounded(v);
    const int i = static_cast<int>(v);
    return i - (v < i);
}

int Ceil(double v) {
    v = Bounded(v);
    const int i = static_cast<int>(v);
    return i + (v > i);
}

// The line through fewer points: those within a twentieth of a pixel of a straight stretch
// between two kept points are left out, which a smooth line such as the Sun's has many of.
QPolygonF Straightened(const QPolygonF& points) {
    constexpr double kTolerance = 0.05;  // pixels
    constexpr qsizetype kLongest = 64;   // points a stretch may span, to bound the checks
    QPolygonF kept;
    kept.reserve(points.size());
    qsizetype anchor = 0;
    kept.append(points.front());
    for (qsizetype end = 2; end < points.size(); ++end) {
        const QPointF a = points[anchor], chord = points[end] - a;
        const double length = std::sqrt(QPointF::dotProduct(chord, chord));
        bool straight = end - anchor <= kLongest && length > 0;
        for (qsizetype i = anchor + 1; straight && i < end; ++i) {
            const QPointF r = points[i] - a;
            const double along = QPointF::dotProduct(r, chord);
            straight = along > 0 && along < length * length &&
                       std::abs(r.x() * chord.y() - r.y() * chord.x()) <= kTolerance * length;
        }
        if (straight) continue;
        anchor = end - 1;
        kept.append(points[anchor]);
    }
    kept.append(points.back());
    return kept;
}

// Where a dash pattern stands along a line: its entry (drawn when even) and what is left of it.
struct DashPhase {
    qsizetype entry = 0;
    double left = HUGE_VAL;
    bool starts = true;  // a dash begins here

    // Moves `distance` along the pattern without drawing, in steps of whole patterns first, so
    // that a line off the chart by any length takes no time.
    void Skip(double distance, const QList<qreal>& dashes) {
        if (dashes.isEmpty() || !(distance > 0)) return;
        if (distance < left) {
            left -= distance;
            return;
        }
        distance -= left;
        double total = 0;
        for (const qreal dash : dashes) total += dash;
        if (total > 0) distance = std::fmod(distance, total);
        entry = (entry + 1) % dashes.size();
        for (qsizetype i = 0; i < dashes.size() && distance >= dashes[entry]; ++i) {
            distance -= dashes[entry];
            entry = (entry + 1) % dashes.size();
        }
        left = dashes[entry] - distance;
        starts = true;
    }
};

// The stretch of the line from `a` along the unit vector `along` for `length` that lies within
// `box`, as distances from `a`; an empty one (first >= second) when it misses.
std::pair<double, double> WithinBox(QPointF a, QPointF along, double length, const QRectF& box) {
    double from = 0, to = length;
    const auto limit = [&](double start, double step, double low, double high) {
        if (step == 0) {
            if (start < low || start > high) to = -1;
            return;
        }
        double t0 = (low - start) / step, t1 = (high - start) / step;
        if (t0 > t1) std::swap(t0, t1);
        from = std::max(from, t0);
        to = std::min(to, t1);
    };
    limit(a.x(), along.x(), box.left(), box.right());
    limit(a.y(), along.y(), box.top(), box.bottom());
    return {from, to};
}

}  // namespace

LinePainter::LinePainter(RgbRows& pixels, const QRect& clip, std::vector<std::uint8_t>& coverage)
    : pixels_(pixels), clip_(clip & pixels.Rect()), coverage_(coverage) {
    if (clip_.isEmpty()) return;
    const auto cells = static_cast<std::size_t>(clip_.width()) * clip_.height();
    if (coverage_.size() < cells) coverage_.assign(cells, 0);
}

void LinePainter::DrawPolyline(const QPolygonF& line, const LineStyle& style) {
    if (clip_.isEmpty() || line.size() < 2) return;
    const QPolygonF points = Straightened(line);
    const double half = style.width / 2;
    const bool flat = style.cap != Qt::RoundCap;
    const QList<qreal>& dashes = style.dashes;
    // Only what can reach the clip rectangle is walked; the dashes move on over the rest.
    const QRectF box = QRectF(clip_).adjusted(-half - 2, -half - 2, half + 2, half + 2);
    DashPhase dash;
    if (!dashes.isEmpty()) dash.left = dashes.front();
    for (qsizetype i = 1; i < points.size(); ++i) {
        const QPointF a = points[i - 1], b = points[i];
        const double length = std::sqrt(QPointF::dotProduct(b - a, b - a));
        if (!(length > 1e-9) || !std::isfinite(length)) continue;
        const QPointF along = (b - a) / length;
        const auto [from, to] = WithinBox(a, along, length, box);
        if (!(from < to)) {
            dash.Skip(length, dashes);
            continue;
        }
        dash.Skip(from, dashes);
        if (from > 0) dash.starts = false;
        const bool lastSegment = i + 1 == points.size() && to == length;
        for (double done = from;;) {
            const bool segmentEnds = dash.left >= to - done;
            const double step = segmentEnds ? to - done : dash.left;
            const bool dashEnds = !segmentEnds || lastSegment || dash.left == step;
            if (dash.entry % 2 == 0) {
                const End start = !dash.starts ? End::Joined : flat ? End::Flat : End::Round;
                const End end = flat && dashEnds ? End::Flat : End::Round;
                Cover({a + along * done, a + along * (done + step), start, end}, half);
            }
            done += step;
            dash.left -= step;
            dash.starts = false;
            if (dash.left <= 0) {
                dash.entry = (dash.entry + 1) % dashes.size();
                dash.left = dashes[dash.entry];
                dash.starts = true;
            }
            if (segmentEnds) break;
        }
        dash.Skip(length - to, dashes);
    }
    Blend(style.colour);
}

void LinePainter::DrawDot(QPointF centre, double diameter, const QColor& colour) {
    if (clip_.isEmpty()) return;
    Cover({centre, centre, End::Round, End::Round}, diameter / 2);
    Blend(colour);
}

// Each pixel's share of the segment, from the distance of its centre: to the segment's axis
// beside it and past a flat end, to the end point past a round one. Walks each row only where
// the segment reaches it: within reach of its axis, and not before a joined start, which the
// round end of the segment before covers.
void LinePainter::Cover(const Segment& s, double halfWidth) {
    // Each pair of kinds of ends has a walk of its own, whose pixels' loop need not ask them.
    const bool flatEnd = s.end == End::Flat;
    switch (s.start) {
        case End::Joined:
            return flatEnd ? CoverAs<End::Joined, End::Flat>(s, halfWidth)
                           : CoverAs<End::Joined, End::Round>(s, halfWidth);
        case End::Flat:
            return flatEnd ? CoverAs<End::Flat, End::Flat>(s, halfWidth)
                           : CoverAs<End::Flat, End::Round>(s, halfWidth);
        case End::Round:
            return flatEnd ? CoverAs<End::Round, End::Flat>(s, halfWidth)
                           : CoverAs<End::Round, End::Round>(s, halfWidth);
    }
}

template <LinePainter::End kStart, LinePainter::End kEnd>
void LinePainter::CoverAs(const Segment& s, double halfWidth) {
    const double dx = s.b.x() - s.a.x(), dy = s.b.y() - s.a.y();
    const double length = std::sqrt(dx * dx + dy * dy);
    const double ux = length > 0 ? dx / length : 1, uy = length > 0 ? dy / length : 0;
    const double reach = halfWidth + 0.5;  // where the share falls to nothing
    const double first = kStart == End::Joined ? 0 : kStart == End::Flat ? -0.5 : -reach;
    const double last = kEnd == End::Flat ? length + 0.5 : length + reach;
    const int x0 = std::max(clip_.left(), Floor(std::min(s.a.x(), s.b.x()) - reach));
    const int x1 = std::min(clip_.right(), Ceil(std::max(s.a.x(), s.b.x()) + reach));
    const int y0 = std::max(clip_.top(), Floor(std::min(s.a.y(), s.b.y()) - reach));
    const int y1 = std::min(clip_.bottom(), Ceil(std::max(s.a.y(), s.b.y()) + reach));
    // Narrows [from, to] to the pixels whose centre's offset from a, times the unit whose
    // inverse is `inverse` (0 for a unit too small to narrow by), plus `offset` lies within
    // [low, high].
    const auto narrow = [&](int& from, int& to, double inverse, double offset, double low,
                            double high) {
        if (inverse == 0) return;
        double u = (low - offset) * inverse, v = (high - offset) * inverse;
        if (u > v) std::swap(u, v);
        from = std::max(from, Floor(u - 0.5 + s.a.x()));
        to = std::min(to, Ceil(v - 0.5 + s.a.x()));
    };
    const SegmentGeometry geometry{static_cast<float>(ux),     static_cast<float>(uy),
                                   static_cast<float>(dx),     static_cast<float>(dy),
                                   static_cast<float>(length), static_cast<float>(reach)};
    const auto inverseOf = [](double unit) { return std::abs(unit) < 1e-6 ? 0 : 1 / unit; };
    const double inverseUx = inverseOf(ux), inverseUy = inverseOf(uy);
    for (int y = y0; y <= y1; ++y) {
        const double ry = y + 0.5 - s.a.y();
        int from = x0, to = x1;
        narrow(from, to, inverseUy, -ry * ux, -reach, reach);  // across the axis
        narrow(from, to, inverseUx, ry * uy, first, last);     // along it
        if (from > to) continue;
        const auto rowCell = static_cast<std::uint32_t>((y - clip_.top()) * clip_.width());
        CoverRow<kStart, kEnd>(geometry, static_cast<float>(ry),
                               static_cast<float>(from + 0.5 - s.a.x()), to - from + 1,
                               rowCell + static_cast<std::uint32_t>(from - clip_.left()),
                               pixels_.Offset(from, y));
    }
}

// The shares of `count` pixels of a row, four at a time, from the first one's centre's offset
// `rx`, `ry` from the segment's start; each cell keeps the largest share it has been given.
template <LinePainter::End kStart, LinePainter::End kEnd>
void LinePainter::CoverRow(const SegmentGeometry& g, float ry, float rx, int count,
                           std::uint32_t cell, std::uint32_t pixel) {
    using namespace lanes;
    Floats x = Floats{0, 1, 2, 3} + rx;
    for (int done = 0; done < count; done += 4, x += 4.0f) {
        const Floats t = x * g.ux + ry * g.uy;
        Floats distance = Abs(x * g.uy - ry * g.ux), ends = Floats{} + 1.0f;
        if constexpr (kStart == End::Flat) ends = Clamp01(t + 0.5f);
        if constexpr (kStart == End::Round)
            distance = Select(t < 0.0f, Sqrt(x * x + ry * ry), distance);
        if constexpr (kEnd == End::Flat) ends = Min(ends, Clamp01(g.length - t + 0.5f));
        if constexpr (kEnd == End::Round) {
            const Floats ex = x - g.dx;
            const float ey = ry - g.dy;
            distance = Select(t > g.length, Sqrt(ex * ex + ey * ey), distance);
        }
        Floats share = Clamp01(g.reach - distance) * ends;
        if constexpr (kStart == End::Joined) share = Select(t < 0.0f, Floats{}, share);
        const Ints levels = Rounded(share * 255.0f);
        for (int i = 0; i < 4 && done + i < count; ++i) {
            std::uint8_t& level = coverage_[cell + done + i];
            if (levels[i] <= level) continue;
            if (level == 0) touched_.push_back({cell + done + i, pixel + 3 * (done + i)});
            level = static_cast<std::uint8_t>(levels[i]);
        }
    }
}

// Lays the covered pixels over the image in the colour and clears the coverage.
void LinePainter::Blend(const QColor& colour) {
    const QRgb rgb = colour.rgb();
    const auto alpha = static_cast<std::uint32_t>(colour.alpha());
    for (const Touched& at : touched_) {
        std::uint8_t& cell = coverage_[at.cell];
        pixels_.Lay(at.pixel, rgb, (cell * alpha + 127) / 255);
        cell = 0;
    }
    touched_.clear();
}

}  // namespace noxa
