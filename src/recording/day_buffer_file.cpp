#include "recording/day_buffer_file.h"

#include "core/day_tables.h"
#include "core/form_model.h"
#include "recording/atomic_file.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace noxa {
namespace {

// Renames a damaged file to the first free name of "<name>.bad", "<name>.bad.1", "<name>.bad.2"
// and so on, so that no file set aside earlier is ever overwritten. The name used, or nothing
// when the file could not be renamed.
QString SetAside(const QString& name) {
    constexpr int kMaxSetAside = 10000;
    for (int n = 0; n < kMaxSetAside; ++n) {
        const QString aside = n == 0 ? name + ".bad" : QStringLiteral("%1.bad.%2").arg(name).arg(n);
        if (QFile::exists(aside)) continue;
        // QFile never renames over an existing file.
        return QFile::rename(name, aside) ? aside : QString();
    }
    return {};
}

}  // namespace

void DayBufferFile::LoadDayBuffers() {
    QFile file(dir_.File(kFileName));
    if (!file.open(QIODevice::ReadOnly)) return;  // no history yet: the charts start flat
    const qint64 size = file.size();
    if (size != static_cast<qint64>(kDayBufferFileSize)) {
        file.close();
        const QString aside = SetAside(dir_.File(kFileName));
        const bool kept = !aside.isEmpty();
        form_.AppendLog(
            LogLevel::Warning,
            std::string(kFileName) + " ignored: " + std::to_string(size) + " bytes instead of " +
                std::to_string(kDayBufferFileSize) +
                (kept ? ". Kept as " + QFileInfo(aside).fileName().toStdString() + "." : "."));
        return;
    }
    const QByteArray image = file.readAll();
    if (!ReadImage(std::string_view(image.constData(), static_cast<std::size_t>(image.size())),
                   days_)) {
        form_.AppendLog(LogLevel::Warning, std::string(kFileName) + " could not be read: " +
                                               file.errorString().toStdString());
    }
}

bool DayBufferFile::ReadImage(std::string_view image, DayTables& days) {
    if (image.size() != kDayBufferFileSize) return false;
    std::memcpy(days.slot.data(), image.data(), kDayBufferFileSize);
    return true;
}

bool DayBufferFile::SaveDayBuffers() {
    const QByteArrayView image(reinterpret_cast<const char*>(days_.slot.data()),
                               static_cast<qsizetype>(kDayBufferFileSize));
    QString error;
    const bool ok = ReplaceFile(dir_.File(kFileName), image, error);
    if (!ok) {
        const std::string line = std::string(kFileName) + " not saved: " + error.toStdString();
        if (failures_.Failed(line)) form_.AppendLog(LogLevel::Error, line);
    } else if (failures_.Succeeded()) {
        form_.AppendLog(LogLevel::Info, std::string(kFileName) + " saved again");
    }
    return ok;
}

}  // namespace noxa
