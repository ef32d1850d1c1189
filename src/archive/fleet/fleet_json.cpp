#include "archive/fleet/fleet_json.h"

#include <QDateTime>

#include <charconv>
#include <chrono>
#include <cmath>

namespace noxa {

QByteArray IsoUtc(qint64 ms) {
    // By the calendar arithmetic of <chrono> and digits written here: many times faster than
    // QDateTime's text, which a list of thousands of stations or records feels.
    using namespace std::chrono;
    const sys_time<milliseconds> time{milliseconds(ms)};
    const sys_days day = floor<days>(time);
    const year_month_day date{day};
    const int year = static_cast<int>(date.year());
    if (year < 0 || year > 9999)
        return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs).toUtf8();
    const qint64 inDay = (time - day).count();
    QByteArray text("0000-00-00T00:00:00.000Z");
    const auto put = [&text](int at, int width, qint64 value) {
        for (int i = at + width - 1; i >= at; --i, value /= 10) text[i] = char('0' + value % 10);
    };
    put(0, 4, year);
    put(5, 2, static_cast<unsigned>(date.month()));
    put(8, 2, static_cast<unsigned>(date.day()));
    put(11, 2, inDay / 3'600'000);
    put(14, 2, inDay / 60'000 % 60);
    put(17, 2, inDay / 1000 % 60);
    put(20, 3, inDay % 1000);
    return text;
}

QByteArray JsonNumber(double value) {
    QByteArray out;
    AppendJsonNumber(out, value);
    return out;
}

void AppendJsonNumber(QByteArray& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, end - text);
}

QByteArray JsonString(const QString& text) {
    QByteArray out;
    AppendJsonString(out, text);
    return out;
}

void AppendJsonString(QByteArray& out, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    out += '"';
    qsizetype plain = 0;  // where the run of characters that need no escape began
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out.append(utf8.constData() + plain, i - plain);
        plain = i + 1;
        if (c >= 0x20) {
            out += '\\';
            out += char(c);
        } else {
            const char hex[] = "0123456789abcdef";
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    out.append(utf8.constData() + plain, utf8.size() - plain);
    out += '"';
}

}  // namespace noxa
