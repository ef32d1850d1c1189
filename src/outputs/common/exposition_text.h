#pragma once

#include <QByteArray>

namespace noxa {

// Pieces of Prometheus's text exposition format that the station's and the archive's metrics
// share.

// A label's value, UTF-8, with backslash, double quote and line feed escaped.
QByteArray ExpositionLabelValue(const QByteArray& utf8);

// The "# HELP" and "# TYPE" lines of a metric family.
void ExpositionFamily(QByteArray& out, const char* name, const char* type, const char* help);

}  // namespace noxa
