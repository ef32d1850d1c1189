#pragma once

#include <QByteArray>
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

}  // namespace noxa
