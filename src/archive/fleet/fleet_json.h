#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace noxa {

// "2026-12-07T21:01:00.000Z" for a time in ms UTC.
QByteArray IsoUtc(qint64 ms);

// The shortest text that reads back as `value`; "null" when it is not finite.
QByteArray JsonNumber(double value);

// `text` as a JSON string, quotes included.
QByteArray JsonString(const QString& text);
void AppendJsonString(QByteArray& out, const QString& text);
void AppendJsonNumber(QByteArray& out, double value);

}  // namespace noxa
