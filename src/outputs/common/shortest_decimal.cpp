#include "outputs/common/shortest_decimal.h"

namespace noxa {

QByteArray ShortestDecimal(float value) {
    return QByteArray::number(value, 'g', 7);
}

double ShortestDouble(float value) {
    return ShortestDecimal(value).toDouble();
}

}  // namespace noxa
