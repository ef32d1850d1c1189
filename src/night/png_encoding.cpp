#include "night/png_encoding.h"

#include "recording/atomic_file.h"

#include <QDir>
#include <QFileInfo>

#include <png.h>

#include <csetjmp>

namespace noxa {
namespace {

void Append(png_structp png, png_bytep data, png_size_t size) {
    static_cast<QByteArray*>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char*>(data), qsizetype(size));
}

void NoFlush(png_structp) {}

void Failed(png_structp png, png_const_charp message) {
    *static_cast<QString*>(png_get_error_ptr(png)) = QString::fromUtf8(message);
    png_longjmp(png, 1);
}

void NoWarning(png_structp, png_const_charp) {}

// Only plain values live here, as libpng leaves a failed write by a long jump.
bool Encode(const QImage& rgb, QByteArray& out, QString& error) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, Failed, NoWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, Append, NoFlush);
    png_set_IHDR(png, info, png_uint_32(rgb.width()), png_uint_32(rgb.height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    for (int y = 0; y < rgb.height(); ++y) png_write_row(png, rgb.constScanLine(y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool EncodeChartPng(const QImage& image, QByteArray& png, QString& error) {
    if (image.isNull()) {
        error = QStringLiteral("no image");
        return false;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    png.clear();
    png.reserve(qsizetype(rgb.sizeInBytes() / 8));
    error = QStringLiteral("the PNG library failed");
    if (!Encode(rgb, png, error)) return false;
    error.clear();
    return true;
}

bool SaveChartPng(const QImage& image, const QString& path, QString& error) {
    QByteArray bytes;
    if (!EncodeChartPng(image, bytes, error)) {
        error = QStringLiteral("cannot encode the chart of %1: %2").arg(path, error);
        return false;
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    return ReplaceFile(path, bytes, error);
}

}  // namespace noxa
