#include "night/night_chart.h"

namespace noxa {

QImage DrawNightChart(const Night&, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

bool SaveNightChart(const Night&, const QString&, QString& error) {
    error = QStringLiteral("not drawn yet");
    return false;
}

}  // namespace noxa
