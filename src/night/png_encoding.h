#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QString>

#include <vector>

namespace noxa {

// Encodes a chart as PNG, quickly: rows unfiltered, deflated by ISA-L's fastest level, which for
// charts' flat areas is as small as zlib's fastest level in a third of its time. On failure
// returns false with the reason in `error`.
bool EncodeChartPng(const QImage& image, QByteArray& png, QString& error);

// Encodes a chart and puts it in place of `path` whole, making its folder when missing. On
// failure returns false with the reason in `error`.
bool SaveChartPng(const QImage& image, const QString& path, QString& error);

// An image of three bytes a pixel held as a PNG holds its rows before compression: each row
// behind its filter byte (none). Drawn into through Image() and written by SavePngRows without
// a copy; kept from one image to the next of the same size.
class PngRows {
public:
    // The rows for an image of `size`, seen as an image of QImage::Format_RGB888 that stays
    // valid while these rows are neither resized nor gone; its pixels are as the last image of
    // that size left them.
    QImage Image(QSize size);

    QSize Size() const { return size_; }
    QByteArrayView Bytes() const { return {bytes_.data(), qsizetype(bytes_.size())}; }

private:
    QSize size_;
    std::vector<uchar> bytes_;
};

bool EncodePngRows(const PngRows& rows, QByteArray& png, QString& error);
bool SavePngRows(const PngRows& rows, const QString& path, QString& error);

}  // namespace noxa
