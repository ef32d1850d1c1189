#pragma once

#include <QImage>
#include <QRgb>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace noxa {

// `over` laid over `under` with the opacity `alpha` of 255: red and blue side by side in one
// word and green in another, each sum divided by 255 and rounded without a division.
inline QRgb Mix(QRgb under, QRgb over, std::uint32_t alpha) {
    const auto divided = [](std::uint32_t sums, std::uint32_t lanes) {
        sums += 0x00800080u & lanes;
        return ((sums + ((sums >> 8) & lanes)) >> 8) & lanes;
    };
    const std::uint32_t rb =
        divided((over & 0xff00ffu) * alpha + (under & 0xff00ffu) * (255 - alpha), 0xff00ffu);
    const std::uint32_t g =
        divided(((over >> 8) & 0xffu) * alpha + ((under >> 8) & 0xffu) * (255 - alpha), 0xffu);
    return 0xff000000u | rb | g << 8;
}

// The pixels of an image of three bytes a pixel (QImage::Format_RGB888, the byte order of a PNG
// row), written straight: the raster engine hands big fills to a thread pool, whose hand-offs
// cost more than these fills themselves, and a chart kept in this format is written without
// repacking its rows.
class RgbRows {
public:
    explicit RgbRows(QImage& image);

    // Columns [x0, x1) of rows [y0, y1), clipped to the image; `alpha` blends over what is there.
    void Fill(int x0, int x1, int y0, int y1, QRgb colour, int alpha = 255);

    // Rows [y0 + 1, y1) made copies of row y0, within the image.
    void CopyRowDown(int y0, int y1);

    QRect Rect() const { return QRect(QPoint(0, 0), size_); }

    // Where the pixel at x, y begins, for Lay; the next pixel of the row begins 3 further.
    std::uint32_t Offset(int x, int y) const {
        return static_cast<std::uint32_t>(y * stride_ + 3 * x);
    }

    // Lays `colour` over the pixel at `offset` with the opacity `alpha` of 255.
    void Lay(std::uint32_t offset, QRgb colour, std::uint32_t alpha) {
        uchar* pixel = bits_ + offset;
        const QRgb mixed =
            alpha >= 255 ? colour : Mix(qRgb(pixel[0], pixel[1], pixel[2]), colour, alpha);
        pixel[0] = static_cast<uchar>(qRed(mixed));
        pixel[1] = static_cast<uchar>(qGreen(mixed));
        pixel[2] = static_cast<uchar>(qBlue(mixed));
    }

private:
    // A run blended over, before and after, kept to be taken again by a run like it.
    struct BlendedRun {
        int x = -1;
        QRgb colour = 0;
        std::uint32_t alpha = 0;
        std::vector<uchar> before, after;
    };
    static constexpr std::size_t kRememberedBytes = 3 * 64;  // of runs worth remembering

    uchar* At(int x, int y) { return bits_ + Offset(x, y); }
    static void BlendRun(uchar* pixel, std::size_t bytes, QRgb colour, std::uint32_t alpha);
    void BlendRememberingRun(int x, uchar* pixel, std::size_t bytes, QRgb colour,
                             std::uint32_t alpha);

    uchar* bits_;
    qsizetype stride_;
    QSize size_;
    BlendedRun lastBlended_;
};

}  // namespace noxa
