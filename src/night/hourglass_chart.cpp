#include "night/hourglass_chart.h"

#include "night/png_encoding.h"
#include "night/sky_colour_scale.h"
#include "recording/atomic_file.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLocale>
#include <QPainter>

#include <cmath>

namespace noxa {
namespace {

constexpr int kCellWidth = 3, kCellHeight = 2;
constexpr int kLeft = 56, kTop = 40, kBottom = 56, kRight = 110;
constexpr int kBarWidth = 22, kBarGap = 20;
constexpr QRgb kEmpty = 0xffffff, kHatch = 0xd8d8d8, kAxis = 0x404040, kClockChange = 0x9ab8d8;

// The colour of one pixel of a cell: twilight grey, Moon-up hatched by diagonal lines that run
// on across neighbouring cells.
QRgb PixelColour(const HourglassCell& cell, const SkyColourScale& scale, int x, int y) {
    // The skipped hour: blue lines across, unlike any record's cell.
    if (cell.light == SkyLight::ClockChange) return y % 2 == 0 ? kClockChange : kEmpty;
    if (!cell.mag) return kEmpty;
    switch (cell.light) {
        case SkyLight::Twilight:
            return scale.Grey(*cell.mag);
        case SkyLight::MoonUp:
            return (x + y) % 5 == 0 ? kHatch : scale.Colour(*cell.mag);
        default:
            return scale.Colour(*cell.mag);
    }
}

void PaintCells(QImage& image, const HourglassGrid& grid, const SkyColourScale& scale) {
    for (int row = 0; row < grid.rows; ++row) {
        for (int column = 0; column < grid.columns; ++column) {
            const HourglassCell& cell = grid.At(column, row);
            for (int dy = 0; dy < kCellHeight; ++dy) {
                const int y = kTop + row * kCellHeight + dy;
                auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
                for (int dx = 0; dx < kCellWidth; ++dx) {
                    const int x = kLeft + column * kCellWidth + dx;
                    line[x] = PixelColour(cell, scale, x, y);
                }
            }
        }
    }
}

QString ChannelName(int channel) {
    return channel == kSingleChannel ? QStringLiteral("the logger's own channel")
                                     : QString::fromLatin1(kNightChannelNames[size_t(channel)]);
}

// The night's hours down the left side, the months along the bottom.
void PaintAxes(QPainter& painter, const HourglassGrid& grid, const HourglassLayout& layout) {
    const QRect plot(kLeft, kTop, grid.columns * kCellWidth, grid.rows * kCellHeight);
    const QFontMetrics metrics(painter.font());
    painter.setPen(QColor(kAxis));
    painter.drawRect(plot.adjusted(-1, -1, 0, 0));
    const int rowsPerHour = 60 / layout.minutesPerRow;
    for (int hour = 0; hour <= layout.hours; hour += 2) {
        const int y = kTop + hour * rowsPerHour * kCellHeight;
        const QString label =
            QStringLiteral("%1:00").arg((layout.eveningHour + hour) % 24, 2, 10, QLatin1Char('0'));
        painter.drawLine(kLeft - 5, y, kLeft - 1, y);
        painter.drawText(kLeft - 8 - metrics.horizontalAdvance(label), y + metrics.ascent() / 2 - 1,
                         label);
    }
    const QLocale english(QLocale::English);
    for (int month = 1; month <= 12; ++month) {
        const QDate first(grid.year, month, 1);
        const int x = kLeft + (first.dayOfYear() - 1) * kCellWidth;
        const int width = first.daysInMonth() * kCellWidth;
        painter.drawLine(x, plot.bottom() + 1, x, plot.bottom() + 6);
        const QString name = english.monthName(month, QLocale::ShortFormat);
        painter.drawText(x + (width - metrics.horizontalAdvance(name)) / 2,
                         plot.bottom() + 4 + metrics.height(), name);
    }
}

// The scale beside the grid, labelled at every whole magnitude, with the marks' legend below.
void PaintColourBar(QPainter& painter, const HourglassGrid& grid, const SkyColourScale& scale) {
    const int left = kLeft + grid.columns * kCellWidth + kBarGap;
    const int height = grid.rows * kCellHeight;
    const QFontMetrics metrics(painter.font());
    for (int y = 0; y < height; ++y) {
        const float mag =
            scale.brightest + (scale.darkest - scale.brightest) * float(y) / float(height - 1);
        painter.setPen(QColor(scale.Colour(mag)));
        painter.drawLine(left, kTop + y, left + kBarWidth - 1, kTop + y);
    }
    painter.setPen(QColor(kAxis));
    painter.drawRect(left - 1, kTop - 1, kBarWidth + 1, height + 1);
    for (int mag = int(std::ceil(scale.brightest)); mag <= int(scale.darkest); ++mag) {
        const int y =
            kTop + int(std::lround((float(mag) - scale.brightest) /
                                   (scale.darkest - scale.brightest) * float(height - 1)));
        painter.drawLine(left + kBarWidth, y, left + kBarWidth + 4, y);
        painter.drawText(left + kBarWidth + 7, y + metrics.ascent() / 2 - 1, QString::number(mag));
    }
    painter.drawText(left - 6, kTop - 8, QStringLiteral("mag/arcsec²"));
}

// What the grey and the hatching mean, under the months.
void PaintLegend(QPainter& painter, const HourglassGrid& grid, const SkyColourScale& scale) {
    const QFontMetrics metrics(painter.font());
    const int y = kTop + grid.rows * kCellHeight + 2 * metrics.height() + 8;
    int x = kLeft;
    const auto swatch = [&](const HourglassCell& cell, const QString& text) {
        for (int dy = 0; dy < 12; ++dy) {
            for (int dx = 0; dx < 18; ++dx) {
                painter.setPen(QColor(PixelColour(cell, scale, x + dx, y - 11 + dy)));
                painter.drawPoint(x + dx, y - 11 + dy);
            }
        }
        painter.setPen(QColor(kAxis));
        painter.drawRect(x - 1, y - 12, 19, 13);
        painter.drawText(x + 24, y, text);
        x += 24 + metrics.horizontalAdvance(text) + 24;
    };
    swatch({20.5f, SkyLight::Dark, 1}, QStringLiteral("Sun below −18°, Moon down"));
    swatch({18.5f, SkyLight::MoonUp, 1}, QStringLiteral("Moon up"));
    swatch({18.f, SkyLight::Twilight, 1}, QStringLiteral("twilight (Sun above −18°)"));
    swatch({std::nullopt, SkyLight::Dark, 0}, QStringLiteral("no record"));
    swatch({std::nullopt, SkyLight::ClockChange, 0},
           QStringLiteral("hour skipped (clocks forward)"));
}

}  // namespace

QImage DrawHourglassChart(const HourglassGrid& grid, const std::string& instrument,
                          const HourglassLayout& layout) {
    const QSize size(kLeft + grid.columns * kCellWidth + kRight,
                     kTop + grid.rows * kCellHeight + kBottom);
    QImage image(size, QImage::Format_RGB32);
    image.fill(kEmpty);
    const SkyColourScale scale;
    PaintCells(image, grid, scale);
    QPainter painter(&image);
    QFont font = QGuiApplication::font();
    font.setPixelSize(12);
    QFont title = font;
    title.setBold(true);
    title.setPixelSize(15);
    painter.setFont(title);
    painter.setPen(QColor(kAxis));
    const QString who = instrument.empty() ? QString() : QString::fromStdString(instrument) + ' ';
    painter.drawText(
        kLeft, kTop - 14,
        QStringLiteral("%1%2: sky brightness at %3, local time from evening to morning")
            .arg(who)
            .arg(grid.year)
            .arg(ChannelName(grid.channel)));
    painter.setFont(font);
    PaintAxes(painter, grid, layout);
    PaintColourBar(painter, grid, scale);
    PaintLegend(painter, grid, scale);
    return image;
}

QString HourglassChartPath(const QString& folder, const std::string& instrument, int year) {
    const QString who = instrument.empty() ? QString() : QString::fromStdString(instrument) + '-';
    return folder + QStringLiteral("/hourglass-") + who + QString::number(year) +
           QStringLiteral(".png");
}

bool SaveHourglassChart(const HourglassGrid& grid, const std::string& instrument,
                        const QString& path, QString& error, const HourglassLayout& layout) {
    return SaveChartPng(DrawHourglassChart(grid, instrument, layout), path, error);
}

}  // namespace noxa
