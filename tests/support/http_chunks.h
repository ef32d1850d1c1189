#pragma once

#include <QByteArray>

namespace noxa::test {

// A body as an HTTP/1.1 server sends it in chunks: what the chunks carry so far, and whether
// the last (empty) chunk came, which an answer broken off never has.
struct Unchunked {
    QByteArray body;
    bool whole = false;
};

inline Unchunked Unchunk(const QByteArray& data) {
    Unchunked out;
    for (qsizetype at = 0;;) {
        const qsizetype line = data.indexOf("\r\n", at);
        if (line < 0) return out;
        bool ok = false;
        const qsizetype size = data.mid(at, line - at).toLongLong(&ok, 16);
        if (!ok || data.size() < line + 2 + size + 2) return out;
        if (size == 0) {
            out.whole = true;
            return out;
        }
        out.body += data.mid(line + 2, size);
        at = line + 2 + size + 2;
    }
}

}  // namespace noxa::test
