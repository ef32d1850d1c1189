#pragma once

#include <QByteArray>

namespace noxa {

// A finite float as the shortest decimal text that reads back as it, at most 7 significant
// digits: 21.34f is "21.34", not "21.340000152587891", and 1e7f is "1e+07".
QByteArray ShortestDecimal(float value);

// The double that text stands for, for outputs that carry numbers as doubles (JSON): written
// shortest again, 21.34f becomes 21.34.
double ShortestDouble(float value);

}  // namespace noxa
