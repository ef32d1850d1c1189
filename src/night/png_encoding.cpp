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

QImage PngRows::Image(QSize size) {
    if (size.isEmpty()) size = QSize();
    const qsizetype rowBytes = 1 + 3 * qsizetype(size.width());
    if (size != size_) {
        size_ = size;
        bytes_.assign(std::size_t(rowBytes * size_.height()), 0);  // filter bytes 0: none
    }
    if (size_.isEmpty()) return {};
    return QImage(bytes_.data() + 1, size_.width(), size_.height(), rowBytes,
                  QImage::Format_RGB888);
}

bool EncodePngRows(const PngRows& rows, QByteArray& png, QString& error) {
    const QSize size = rows.Size();
    if (size.isEmpty()) {
        error = QStringLiteral("no image");
        return false;
    }
    png.clear();
    png.reserve(rows.Bytes().size() / 8);
    png.append("\x89PNG\r\n\x1a\n", 8);
    qsizetype chunk = BeginChunk(png, "IHDR");
    AppendWord(png, quint32(size.width()));
    AppendWord(png, quint32(size.height()));
    png.append("\x08\x02\x00\x00\x00", 5);  // 8 bits a channel, RGB, deflate, no interlace
    EndChunk(png, chunk);
    chunk = BeginChunk(png, "IDAT");
    if (!AppendDeflated(rows.Bytes(), png)) {
        error = QStringLiteral("the image could not be compressed");
        return false;
    }
    EndChunk(png, chunk);
    EndChunk(png, BeginChunk(png, "IEND"));
    return true;
}

bool SavePngRows(const PngRows& rows, const QString& path, QString& error) {
    QByteArray bytes;
    if (!EncodePngRows(rows, bytes, error)) {
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

namespace {

// Another image's pixels copied into rows of its size.
PngRows RowsOf(const QImage& image) {
    PngRows rows;
    QImage into = rows.Image(image.size());
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < into.height(); ++y)
        std::memcpy(into.scanLine(y), rgb.constScanLine(y), size_t(3 * into.width()));
    return rows;
}

}  // namespace

bool EncodeChartPng(const QImage& image, QByteArray& png, QString& error) {
    return EncodePngRows(RowsOf(image), png, error);
}

bool SaveChartPng(const QImage& image, const QString& path, QString& error) {
    return SavePngRows(RowsOf(image), path, error);
}

}  // namespace noxa
