#include "night/chart_labels.h"
#include "night/line_painter.h"
#include "night/png_encoding.h"
#include "night/rgb_rows.h"

#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <vector>

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

TEST(RgbRows, FillsTheAskedPixelsWithinTheImageAndNoOthers) {
    struct Case {
        int x0, x1, y0, y1;
        QRect filled;
    };
    const Case cases[] = {
        {3, 10, 1, 3, QRect(3, 1, 7, 2)},    // an odd width, made by doubling a pixel
        {-5, 4, -2, 2, QRect(0, 0, 4, 2)},   // beyond the left and the top
        {15, 40, 4, 9, QRect(15, 4, 5, 2)},  // beyond the right and the bottom
        {90, 95, 0, 6, QRect()},             // outside altogether
        {0, 200, 2, 3, QRect(0, 2, 20, 1)},  // a run long enough to be remembered
    };
    for (const int alpha : {255, 128}) {
        for (const Case& c : cases) {
            QImage image = White(QSize(20, 6));
            RgbRows pixels(image);
            pixels.Fill(c.x0, c.x1, c.y0, c.y1, qRgb(0, 0, 255), alpha);
            for (int y = 0; y < 6; ++y) {
                for (int x = 0; x < 20; ++x) {
                    ASSERT_EQ(image.pixel(x, y) != qRgb(255, 255, 255), c.filled.contains(x, y))
                        << c.x0 << ".." << c.x1 << " alpha " << alpha << " at " << x << "," << y;
                }
            }
        }
    }
}

// The columns of a row that differ from the white ground, as runs [first, last].
std::vector<std::pair<int, int>> InkRuns(const QImage& image, int y) {
    std::vector<std::pair<int, int>> runs;
    for (int x = 0; x < image.width(); ++x) {
        if (image.pixel(x, y) == qRgb(255, 255, 255)) continue;
        if (!runs.empty() && runs.back().second == x - 1) {
            runs.back().second = x;
        } else {
            runs.emplace_back(x, x);
        }
    }
    return runs;
}

TEST(LinePainter, ALineCoversWhatItsWidthCapsDashesAndClipSay) {
    // Along the centres of row 10 from column 20 to column 55, three pixels wide: a pixel's
    // share falls to nothing two pixels from the axis or from a round end.
    using Runs = std::vector<std::pair<int, int>>;
    struct Case {
        const char* what;
        LineStyle style;
        QRect clip;
        Runs ink;
    };
    const QColor black(0, 0, 0);
    const QRect whole(0, 0, 80, 20);
    const Case cases[] = {
        {"flat", {black, 3, {}}, whole, {{20, 55}}},
        {"round", {black, 3, {}, Qt::RoundCap}, whole, {{19, 56}}},
        {"dashed", {black, 3, {10, 10}}, whole, {{20, 30}, {40, 50}}},
        {"clipped", {black, 3, {}}, QRect(0, 0, 40, 20), {{20, 39}}},
    };
    std::vector<std::uint8_t> coverage;
    for (const Case& c : cases) {
        QImage image = White(whole.size());
        RgbRows pixels(image);
        LinePainter(pixels, c.clip, coverage)
            .DrawPolyline(QPolygonF({QPointF(20.5, 10.5), QPointF(55.5, 10.5)}), c.style);
        EXPECT_EQ(InkRuns(image, 10), c.ink) << c.what;
        EXPECT_EQ(InkRuns(image, 9), c.ink) << c.what;
        EXPECT_EQ(image.pixel(25, 11), qRgb(0, 0, 0)) << c.what << ": the middle is whole";
        EXPECT_TRUE(InkRuns(image, 8).empty() && InkRuns(image, 12).empty()) << c.what;
        EXPECT_EQ(std::count(coverage.begin(), coverage.end(), 0), std::ssize(coverage))
            << c.what << ": the working space is left clear for the next line";
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

TEST(ChartLabels, TextsNotKeptAreEachDrawnAsThemselves) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(14);
    ChartLabels titles(font, false);
    const auto drawn = [&](const QString& text) {
        QImage image = White(QSize(200, 30));
        RgbRows pixels(image);
        titles.Draw(pixels, QRectF(0, 0, 200, 30), Qt::AlignLeft | Qt::AlignVCenter, text,
                    Qt::black);
        return image;
    };
    const QImage first = drawn(QStringLiteral("Night of 2016-01-04"));
    const QImage other = drawn(QStringLiteral("Night of 2016-01-05 to 06"));
    EXPECT_GT(InkBox(other).width(), InkBox(first).width() + 20);
    EXPECT_EQ(drawn(QStringLiteral("Night of 2016-01-04")), first);
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

TEST(PngEncoding, ImagesOfAnyWidthAndFormatComeBackAsTheyWere) {
    for (const QImage::Format format :
         {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_RGB888}) {
        for (const int width : {1, 3, 5, 64}) {
            QImage image(width, 7, format);
            for (int y = 0; y < 7; ++y) {
                for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(x * 37, y * 29, x ^ y));
            }
            QByteArray png;
            QString error;
            ASSERT_TRUE(EncodeChartPng(image, png, error)) << error.toStdString();
            EXPECT_EQ(QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB888),
                      image.convertToFormat(QImage::Format_RGB888))
                << format << " " << width;
        }
    }
    QByteArray png;
    QString error;
    EXPECT_FALSE(EncodeChartPng(QImage(), png, error));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace noxa
