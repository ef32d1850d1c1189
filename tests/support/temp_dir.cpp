#include "support/temp_dir.h"

#include <QFile>

namespace noxa::test {

std::string ScopedWorkDir::ReadFile(const QString& name) const {
    QFile file(dir_.filePath(name));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

}  // namespace noxa::test
