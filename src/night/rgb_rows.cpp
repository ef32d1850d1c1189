#include "night/rgb_rows.h"

#include <algorithm>
#include <cstring>

namespace noxa {

RgbRows::RgbRows(QImage& image)
    : bits_(image.bits()), stride_(image.bytesPerLine()), size_(image.size()) {
    Q_ASSERT(image.format() == QImage::Format_RGB888);
}

void RgbRows::Fill(int x0, int x1, int y0, int y1, QRgb colour, int alpha) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, size_.width());
    y1 = std::min(y1, size_.height());
    if (x0 >= x1 || y0 >= y1) return;
    const std::size_t bytes = 3 * static_cast<std::size_t>(x1 - x0);
    if (alpha >= 255) {
        // The first row's pixels doubled until the row is full, then copied to the others.
        uchar* first = At(x0, y0);
        Lay(Offset(x0, y0), colour, 255);
        for (std::size_t done = 3; done < bytes; done *= 2)
            std::memcpy(first + done, first, std::min(done, bytes - done));
        for (int y = y0 + 1; y < y1; ++y) std::memcpy(At(x0, y), first, bytes);
        return;
    }
    for (int y = y0; y < y1; ++y) {
        if (bytes < kRememberedBytes) {
            BlendRun(At(x0, y), bytes, colour, static_cast<std::uint32_t>(alpha));
        } else {
            BlendRememberingRun(x0, At(x0, y), bytes, colour, static_cast<std::uint32_t>(alpha));
        }
    }
}

// The areas blended over are flat: a pixel like the one before takes its blend again.
void RgbRows::BlendRun(uchar* pixel, std::size_t bytes, QRgb colour, std::uint32_t alpha) {
    QRgb under = qRgb(pixel[0], pixel[1], pixel[2]), over = Mix(under, colour, alpha);
    for (uchar* end = pixel + bytes; pixel < end; pixel += 3) {
        const QRgb here = qRgb(pixel[0], pixel[1], pixel[2]);
        if (here != under) {
            under = here;
            over = Mix(under, colour, alpha);
        }
        pixel[0] = static_cast<uchar>(qRed(over));
        pixel[1] = static_cast<uchar>(qGreen(over));
        pixel[2] = static_cast<uchar>(qBlue(over));
    }
}

// Long runs blended over are often alike (the rows of a panel are copies of one row): a run
// whose pixels are the last long run's before it was blended takes that run's blend.
void RgbRows::BlendRememberingRun(int x, uchar* pixel, std::size_t bytes, QRgb colour,
                                  std::uint32_t alpha) {
    BlendedRun& last = lastBlended_;
    if (last.x == x && last.colour == colour && last.alpha == alpha &&
        last.before.size() == bytes && std::memcmp(pixel, last.before.data(), bytes) == 0) {
        std::memcpy(pixel, last.after.data(), bytes);
        return;
    }
    last.before.assign(pixel, pixel + bytes);
    BlendRun(pixel, bytes, colour, alpha);
    last.after.assign(pixel, pixel + bytes);
    last.x = x;
    last.colour = colour;
    last.alpha = alpha;
}

void RgbRows::CopyRowDown(int y0, int y1) {
    y1 = std::min(y1, size_.height());
    if (y0 < 0 || y0 >= y1) return;
    const std::size_t bytes = 3 * static_cast<std::size_t>(size_.width());
    for (int y = y0 + 1; y < y1; ++y) std::memcpy(At(0, y), At(0, y0), bytes);
}

}  // namespace noxa
