#include "recording/day_buffer_file.h"

#include "core/form_model.h"
#include "recording/day_tables.h"

#include <QFile>
#include <QSaveFile>

#include <cstring>

namespace noxa {

void DayBufferFile::LoadDayBuffers() {
    QFile file(kFileName);
    if (!file.open(QIODevice::ReadOnly)) return;  // no history yet: the charts start flat
    const qint64 size = file.size();
    if (size != static_cast<qint64>(kDayBufferFileSize)) {
        file.close();
        const QString aside = QStringLiteral("%1.bad").arg(kFileName);
        QFile::remove(aside);
        const bool kept = QFile::rename(kFileName, aside);
        form_.AppendLog(std::string(kFileName) + " ignored: " + std::to_string(size) +
                        " bytes instead of " + std::to_string(kDayBufferFileSize) +
                        (kept ? ". Kept as " + aside.toStdString() + "." : "."));
        return;
    }
    const QByteArray image = file.readAll();
    if (!ReadImage(std::string_view(image.constData(), static_cast<std::size_t>(image.size())),
                   days_)) {
        form_.AppendLog(std::string(kFileName) +
                        " could not be read: " + file.errorString().toStdString());
    }
}

bool DayBufferFile::ReadImage(std::string_view image, DayTables& days) {
    if (image.size() != kDayBufferFileSize) return false;
    std::memcpy(days.slot.data(), image.data(), kDayBufferFileSize);
    return true;
}

bool DayBufferFile::SaveDayBuffers() {
    QSaveFile file(kFileName);
    const auto size = static_cast<qint64>(kDayBufferFileSize);
    const bool ok = file.open(QIODevice::WriteOnly) &&
                    file.write(reinterpret_cast<const char*>(days_.slot.data()), size) == size &&
                    file.commit();
    if (!ok) {
        form_.AppendLog(std::string(kFileName) + " not saved: " + file.errorString().toStdString());
    }
    return ok;
}

}  // namespace noxa
