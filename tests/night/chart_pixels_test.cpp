#include "night/chart_labels.h"
#include "night/rgb_rows.h"

#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

namespace noxa {
namespace {

// The box of the pixels darker than the white ground.
QRect InkBox(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 160) box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

QImage White(QSize size) {
    QImage image(size, QImage::Format_RGB888);
    image.fill(Qt::white);
    return image;
}

TEST(RgbRows, EveryBlendedRunIsItsOwnPixelsMixed) {
    // Three long rows, the middle one unlike the others: a run remembered from the row before
    // must be taken only where the pixels under it are the same.
    QImage image = White(QSize(200, 3));
    for (int x = 0; x < 200; x += 7) image.setPixel(x, 1, qRgb(10, 200, 30));
    const QImage before = image;
    RgbRows pixels(image);
    const QRgb colour = qRgb(70, 85, 110);
    pixels.Fill(0, 200, 0, 3, colour, 150);
    pixels.Fill(0, 200, 0, 1, colour, 150);  // again over the first row, now blended
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 200; ++x) {
            QRgb expected = Mix(before.pixel(x, y), colour, 150);
            if (y == 0) expected = Mix(expected, colour, 150);
            ASSERT_EQ(image.pixel(x, y), expected) << x << "," << y;
        }
    }
}

TEST(ChartLabels, TextSitsWhereItsAlignmentPutsIt) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(14);
    ChartLabels labels(font);
    const QRectF rect(20, 10, 160, 30);
    struct Case {
        Qt::Alignment alignment;
        int (*edge)(const QRect& ink);
        double expected;
    };
    const Case cases[] = {
        {Qt::AlignLeft | Qt::AlignVCenter, [](const QRect& r) { return r.left(); }, rect.left()},
        {Qt::AlignRight | Qt::AlignVCenter, [](const QRect& r) { return r.right(); }, rect.right()},
        {Qt::AlignCenter, [](const QRect& r) { return r.center().x(); }, rect.center().x()},
    };
    for (const Case& c : cases) {
        QImage image = White(QSize(200, 50));
        RgbRows pixels(image);
        labels.Draw(pixels, rect, c.alignment, QStringLiteral("21.5 mag"), Qt::black);
        const QRect ink = InkBox(image);
        ASSERT_FALSE(ink.isEmpty());
        EXPECT_NEAR(c.edge(ink), c.expected, 3) << int(c.alignment);
        EXPECT_NEAR(ink.center().y(), rect.center().y(), 3);
    }
}

TEST(ChartLabels, TurnedTextRunsAlongItsAxis) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(14);
    ChartLabels labels(font);
    for (const double angle : {-90.0, 90.0}) {
        QImage image = White(QSize(60, 240));
        RgbRows pixels(image);
        // Centred on x = 30, y = 120, read upwards or downwards.
        labels.DrawTurned(pixels, QPointF(30, 120), angle, QRectF(-100, -8, 200, 16),
                          QStringLiteral("sky brightness"), Qt::black);
        const QRect ink = InkBox(image);
        ASSERT_FALSE(ink.isEmpty());
        EXPECT_GT(ink.height(), 3 * ink.width()) << angle;
        EXPECT_NEAR(ink.center().x(), 30, 3) << angle;
        EXPECT_NEAR(ink.center().y(), 120, 3) << angle;
    }
}

}  // namespace
}  // namespace noxa
