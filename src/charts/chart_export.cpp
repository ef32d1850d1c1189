#include "charts/chart_export.h"

#include "recording/atomic_file.h"

#include <QBuffer>
#include <QChart>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>

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
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "JPG")) {
        error = QStringLiteral("the JPEG encoder failed");
        return false;
    }
    return ReplaceFile(fileName, jpeg, error);
}

}  // namespace noxa
