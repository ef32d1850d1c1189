#pragma once

#include <QString>
#include <QStringDecoder>

#include <string_view>

namespace noxa {

// A station name as the configuration holds it, as text: UTF-8 when its bytes are (as a name
// set on this system is), Latin-1 otherwise (as a file of the Windows program may hold).
inline QString StationNameText(std::string_view name) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(name.data(), static_cast<qsizetype>(name.size())));
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace noxa
