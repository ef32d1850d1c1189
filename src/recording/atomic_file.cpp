#include "recording/atomic_file.h"

#include <QSaveFile>

namespace noxa {

bool ReplaceFile(const QString& path, QByteArrayView bytes, QString& error) {
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    const qint64 written = file.write(bytes.data(), bytes.size());
    if (written != bytes.size()) {
        error = file.error() != QFileDevice::NoError
                    ? file.errorString()
                    : QStringLiteral("only %1 of %2 bytes written").arg(written).arg(bytes.size());
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
