#include "charts/chart_export.h"

#include <QChart>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QSaveFile>

namespace noxa {

bool SaveChartImage(QChart* chart, const QString& fileName, QString& error) {
    const QSize size = chart->size().toSize();
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        chart->scene()->render(&painter, QRectF(image.rect()), chart->sceneBoundingRect());
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    if (!image.save(&file, "JPG")) {
        error = file.error() != QFileDevice::NoError ? file.errorString()
                                                     : QStringLiteral("the JPEG encoder failed");
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace noxa
