#include "night/png_encoding.h"

#include "recording/atomic_file.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <memory>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

// Bytes a row's packing may write past its end; the next row, written after it, covers them.
constexpr qsizetype kPackSpill = 4;

// Packs `count` pixels as red, green and blue bytes: each pixel as one little-endian word whose
// fourth byte the next pixel overwrites.
void PackRowWords(const QRgb* in, int count, uchar* out) {
    for (int x = 0; x < count; ++x, out += 3)
        qToLittleEndian(qbswap(in[x]) >> 8, out);  // 0xAARRGGBB as the bytes R, G, B, 0
}

#if defined(__x86_64__)
// The same four pixels at a time, their bytes shuffled in one register (a 16-byte store, of
// which the next pixels overwrite the last four).
__attribute__((target("ssse3"))) void PackRowShuffled(const QRgb* in, int count, uchar* out) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    int x = 0;
    for (; x + 4 <= count; x += 4, out += 12) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(pixels, order));
    }
    PackRowWords(in + x, count - x, out);
}
#endif

void PackRow(const QRgb* in, int count, uchar* out) {
#if defined(__x86_64__)
    static const bool shuffles = __builtin_cpu_supports("ssse3");
    if (shuffles) return PackRowShuffled(in, count, out);
#endif
    PackRowWords(in, count, out);
}

// The rows as the format has them: each a filter byte (none) and the pixels' red, green and
// blue.
QByteArray RawRows(const QImage& image) {
    const QImage rgb32 = image.convertToFormat(QImage::Format_RGB32);
    const qsizetype rowBytes = 3 * qsizetype(rgb32.width());
    const qsizetype size = qsizetype(rgb32.height()) * (1 + rowBytes);
    QByteArray raw(size + kPackSpill, Qt::Uninitialized);
    auto* out = reinterpret_cast<uchar*>(raw.data());
    for (int y = 0; y < rgb32.height(); ++y) {
        *out++ = 0;
        PackRow(reinterpret_cast<const QRgb*>(rgb32.constScanLine(y)), rgb32.width(), out);
        out += rowBytes;
    }
    raw.truncate(size);
    return raw;
}

// Deflates `raw` in the zlib format onto the end of `out`; false when it does not fit the room
// given, which is larger than incompressible data needs.
bool AppendDeflated(const QByteArray& raw, QByteArray& out) {
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

bool EncodeChartPng(const QImage& image, QByteArray& png, QString& error) {
    if (image.isNull()) {
        error = QStringLiteral("no image");
        return false;
    }
    const QByteArray raw = RawRows(image);
    png.clear();
    png.reserve(raw.size() / 8);
    png.append("\x89PNG\r\n\x1a\n", 8);
    qsizetype chunk = BeginChunk(png, "IHDR");
    AppendWord(png, quint32(image.width()));
    AppendWord(png, quint32(image.height()));
    png.append("\x08\x02\x00\x00\x00", 5);  // 8 bits a channel, RGB, deflate, no interlace
    EndChunk(png, chunk);
    chunk = BeginChunk(png, "IDAT");
    if (!AppendDeflated(raw, png)) {
        error = QStringLiteral("the image could not be compressed");
        return false;
    }
    EndChunk(png, chunk);
    EndChunk(png, BeginChunk(png, "IEND"));
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
