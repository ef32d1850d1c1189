#pragma once

#include "night/night_chart_style.h"
#include "night/rgb_rows.h"

#include <QPoint>
#include <QPolygonF>
#include <QRect>

#include <cstdint>
#include <vector>

namespace noxa {

// Antialiased wide lines, dashed or solid, painted straight into an image's pixels and clipped
// to a rectangle. A pixel is covered by its distance to the line: joins come out round, and a line
// that crosses itself is blended once. Much cheaper than stroking each line as a path, for the
// thousand-point lines of a night.
class LinePainter {
public:
    // `coverage`, all zero, is where the painter works out each line's pixels; it is left all
    // zero, for the next painter to use without clearing it.
    LinePainter(RgbRows& pixels, const QRect& clip, std::vector<std::uint8_t>& coverage);

    // The line through `points` in the style's colour, width and dashes; the dash pattern
    // starts afresh at the first point.
    void DrawPolyline(const QPolygonF& points, const LineStyle& style);

    // A filled round dot of the given diameter.
    void DrawDot(QPointF centre, double diameter, const QColor& colour);

private:
    // How a segment ends: flat or round, or, at its start, joined to the round end of the
    // segment before it.
    enum class End { Joined, Flat, Round };

    struct Segment {
        QPointF a, b;
        End start = End::Round, end = End::Round;
    };

    // A segment as its rows' shares need it: the unit along it, its extent and length, and the
    // distance from its axis at which a pixel's share falls to nothing.
    struct SegmentGeometry {
        float ux, uy, dx, dy, length, reach;
    };

    void Cover(const Segment& segment, double halfWidth);
    template <End kStart, End kEnd>
    void CoverAs(const Segment& segment, double halfWidth);
    template <End kStart, End kEnd>
    void CoverRow(const SegmentGeometry& geometry, float ry, float rx, int count,
                  std::uint32_t cell, std::uint32_t pixel);
    void Blend(const QColor& colour);

    RgbRows& pixels_;
    QRect clip_;
    std::vector<std::uint8_t>& coverage_;  // of the clip rectangle, row by row
    // A pixel of nonzero coverage: its index in the coverage and its offset in the pixels.
    struct Touched {
        std::uint32_t cell, pixel;
    };
    std::vector<Touched> touched_;
};

}  // namespace noxa
