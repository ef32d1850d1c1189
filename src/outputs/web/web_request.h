#pragma once

#include <QByteArray>
#include <QString>
#include <QUrlQuery>

namespace noxa {

// One request as a route sees it: taken whole, checked, its body read.
struct WebRequest {
    QByteArray method;  // "GET", "HEAD", "PUT", …
    QString path;       // percent-decoded, always starting with "/" (or "*" for OPTIONS)
    QByteArray query;   // as sent, without the "?"
    QByteArray body;

    bool IsHead() const { return method == "HEAD"; }
    bool IsPut() const { return method == "PUT"; }
    QUrlQuery Query() const { return QUrlQuery(QString::fromUtf8(query)); }
};

}  // namespace noxa
