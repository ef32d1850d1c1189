#include "night/png_encoding.h"

#include "recording/atomic_file.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <cstring>
#include <memory>

namespace noxa {
namespace {

void AppendWord(QByteArray& out, quint32 value) {
    const quint32 big = qToBigEndian(value);
    out.append(reinterpret_cast<const char*>(&big), sizeof big);
}

// Closes the chunk whose type begins at `typeAt`: its length in front, its CRC after it.
void EndChunk(QByteArray& out, qsizetype typeAt) {
    const quint32 length = quint32(out.size() - typeAt - 4);
    qToBigEndian(length, out.data() + typeAt - 4);
    AppendWord(out, crc32_gzip_refl(0, reinterpret_cast<const uchar*>(out.constData() + typeAt),
                                    length + 4));
}

qsizetype BeginChunk(QByteArray& out, const char* type) {
    AppendWord(out, 0);
    const qsizetype typeAt = out.size();
    out.append(type, 4);
    return typeAt;
}

// The rows as the format has them: each a filter byte (none) and the pixels' red, green and
// blue, which is how an image of QImage::Format_RGB888 holds them.
QByteArray RawRows(const QImage& image) {
    if (image.isNull()) return {};
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const qsizetype rowBytes = 3 * qsizetype(rgb.width());
    QByteArray raw(qsizetype(rgb.height()) * (1 + rowBytes), Qt::Uninitialized);
    char* out = raw.data();
    for (int y = 0; y < rgb.height(); ++y, out += rowBytes) {
        *out++ = 0;
        std::memcpy(out, rgb.constScanLine(y), size_t(rowBytes));
    }
    return raw;
}

// Deflates `raw` in the zlib format onto the end of `out`; false when it does not fit the room
// given, which is larger than incompressible data needs.
bool AppendDeflated(QByteArrayView raw, QByteArray& out) {
    const qsizetype at = out.size();
    const qsizetype room = raw.size() + raw.size() / 256 + 1024;
    out.resize(at + room);
    const auto levelBuffer = std::make_unique_for_overwrite<uint8_t[]>(ISAL_DEF_LVL1_DEFAULT);
    isal_zstream stream;
    isal_deflate_stateless_init(&stream);
    stream.level = 1;
    stream.level_buf = levelBuffer.get();
    stream.level_buf_size = ISAL_DEF_LVL1_DEFAULT;
    stream.gzip_flag = IGZIP_ZLIB;
    stream.end_of_stream = 1;
    stream.flush = NO_FLUSH;
    stream.next_in = reinterpret_cast<uint8_t*>(const_cast<char*>(raw.constData()));
    stream.avail_in = uint32_t(raw.size());
    stream.next_out = reinterpret_cast<uint8_t*>(out.data() + at);
    stream.avail_out = uint32_t(room);
    const bool done = isal_deflate_stateless(&stream) == COMP_OK;
    out.resize(done ? at + qsizetype(stream.total_out) : at);
    return done;
}

}  // namespace

bool EncodeRowsPng(QByteArrayView rows, QSize size, QByteArray& png, QString& error) {
    if (size.isEmpty() || rows.size() != qsizetype(size.height()) * (1 + 3 * size.width())) {
        error = QStringLiteral("no image");
        return false;
    }
    png.clear();
    png.reserve(rows.size() / 8);
    png.append("\x89PNG\r\n\x1a\n", 8);
    qsizetype chunk = BeginChunk(png, "IHDR");
    AppendWord(png, quint32(size.width()));
    AppendWord(png, quint32(size.height()));
    png.append("\x08\x02\x00\x00\x00", 5);  // 8 bits a channel, RGB, deflate, no interlace
    EndChunk(png, chunk);
    chunk = BeginChunk(png, "IDAT");
    if (!AppendDeflated(rows, png)) {
        error = QStringLiteral("the image could not be compressed");
        return false;
    }
    EndChunk(png, chunk);
    EndChunk(png, BeginChunk(png, "IEND"));
    return true;
}

bool EncodeChartPng(const QImage& image, QByteArray& png, QString& error) {
    return EncodeRowsPng(RawRows(image), image.size(), png, error);
}

bool SaveRowsPng(QByteArrayView rows, QSize size, const QString& path, QString& error) {
    QByteArray bytes;
    if (!EncodeRowsPng(rows, size, bytes, error)) {
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

bool SaveChartPng(const QImage& image, const QString& path, QString& error) {
    return SaveRowsPng(RawRows(image), image.size(), path, error);
}

}  // namespace noxa
