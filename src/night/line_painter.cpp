#include "night/line_painter.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace noxa {
namespace {

double Clamp01(double v) {
    return std::clamp(v, 0.0, 1.0);
}

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

QRgb Mix(QRgb under, QRgb over, int alpha) {
    auto mix = [&](int a, int b) { return (b * alpha + a * (255 - alpha) + 127) / 255; };
    return qRgb(mix(qRed(under), qRed(over)), mix(qGreen(under), qGreen(over)),
                mix(qBlue(under), qBlue(over)));
}

}  // namespace

LinePainter::LinePainter(QImage& image, const QRect& clip)
    : image_(image), clip_(clip & image.rect()) {
    if (clip_.isEmpty()) return;
    coverage_.assign(static_cast<std::size_t>(clip_.width()) * clip_.height(), 0);
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
    const auto inverseOf = [](double unit) { return std::abs(unit) < 1e-6 ? 0 : 1 / unit; };
    const double inverseUx = inverseOf(ux), inverseUy = inverseOf(uy);
    for (int y = y0; y <= y1; ++y) {
        const double ry = y + 0.5 - s.a.y();
        int from = x0, to = x1;
        narrow(from, to, inverseUy, -ry * ux, -reach, reach);  // across the axis
        narrow(from, to, inverseUx, ry * uy, first, last);     // along it
        double rx = from + 0.5 - s.a.x();
        double t = rx * ux + ry * uy, across = rx * uy - ry * ux;
        std::uint8_t* row =
            coverage_.data() + static_cast<std::size_t>(y - clip_.top()) * clip_.width();
        for (int x = from; x <= to; ++x, rx += 1, t += ux, across += uy) {
            std::uint8_t& cell = row[x - clip_.left()];
            if (cell == 255) continue;  // covered whole by a segment before
            double distance = std::abs(across), ends = 1;
            if (t < 0) {
                if constexpr (kStart == End::Joined) continue;
                if constexpr (kStart == End::Flat)
                    ends = Clamp01(t + 0.5);
                else
                    distance = std::sqrt(rx * rx + ry * ry);
            } else if (kStart == End::Flat && t < 0.5) {
                ends = t + 0.5;
            }
            if (t > length) {
                if constexpr (kEnd == End::Flat)
                    ends = std::min(ends, Clamp01(length - t + 0.5));
                else
                    distance = std::sqrt((rx - dx) * (rx - dx) + (ry - dy) * (ry - dy));
            } else if (kEnd == End::Flat && t > length - 0.5) {
                ends = std::min(ends, length - t + 0.5);
            }
            const double share = Clamp01(halfWidth + 0.5 - distance) * ends;
            if (share <= 0) continue;
            const auto level = static_cast<std::uint8_t>(share * 255 + 0.5);
            if (cell == 0 && level > 0) touched_.push_back({x, y});
            cell = std::max(cell, level);
        }
    }
}

// Lays the covered pixels over the image in the colour and clears the coverage.
void LinePainter::Blend(const QColor& colour) {
    const QRgb rgb = colour.rgb();
    const int alpha = colour.alpha();
    uchar* bits = image_.bits();
    const qsizetype stride = image_.bytesPerLine();
    for (const QPoint& at : touched_) {
        std::uint8_t& cell =
            coverage_[static_cast<std::size_t>(at.y() - clip_.top()) * clip_.width() +
                      (at.x() - clip_.left())];
        QRgb& pixel = reinterpret_cast<QRgb*>(bits + at.y() * stride)[at.x()];
        const int share = (cell * alpha + 127) / 255;
        pixel = share == 255 ? rgb : Mix(pixel, rgb, share);  // the same, for a line's middle
        cell = 0;
    }
    touched_.clear();
}

}  // namespace noxa
