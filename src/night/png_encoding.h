#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QString>

namespace noxa {

// Encodes a chart as PNG, quickly: rows unfiltered, deflated by ISA-L's fastest level, which for
// charts' flat areas is as small as zlib's fastest level in a third of its time. On failure
// returns false with the reason in `error`.
bool EncodeChartPng(const QImage& image, QByteArray& png, QString& error);

// Encodes a chart and puts it in place of `path` whole, making its folder when missing. On
// failure returns false with the reason in `error`.
bool SaveChartPng(const QImage& image, const QString& path, QString& error);

// The same for a chart of `size` drawn straight into `rows` as the format holds them before
// compression: each row a filter byte (none) and its pixels' red, green and blue. They are
// deflated where they are, without a copy.
bool EncodeRowsPng(QByteArrayView rows, QSize size, QByteArray& png, QString& error);
bool SaveRowsPng(QByteArrayView rows, QSize size, const QString& path, QString& error);

}  // namespace noxa
