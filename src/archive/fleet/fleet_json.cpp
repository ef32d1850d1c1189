#include "archive/fleet/fleet_json.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>

namespace noxa {

QByteArray IsoUtc(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs).toUtf8();
}

QByteArray JsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

QByteArray JsonString(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (const char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += "\\u00";
            out += QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

}  // namespace noxa
