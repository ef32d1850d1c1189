#include "recording/atomic_file.h"

#include <QSaveFile>

#include <cerrno>
#include <cstring>

namespace noxa {

bool ReplaceFile(const QString& path, QByteArrayView bytes, QString& error) {
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    errno = 0;
    const qint64 written = file.write(bytes.data(), bytes.size());
    if (written != bytes.size()) {
        // A write cut short (a disk that fills up) leaves no error on the file but the system's
        // reason in errno. The reason only, without byte counts: a full disk reads the same at
        // every try, whatever room is left.
        const int cause = errno;
        if (file.error() != QFileDevice::NoError) {
            error = file.errorString();
        } else if (cause != 0) {
            error = QString::fromLocal8Bit(std::strerror(cause));
        } else {
            error = QStringLiteral("the file was written only in part");
        }
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
