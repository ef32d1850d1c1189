#include "support/temp_dir.h"

#include <QFile>

namespace noxa::test {

ScopedWorkDir::ScopedWorkDir() : previous_(QDir::currentPath()) {
    QDir::setCurrent(dir_.path());
}

ScopedWorkDir::~ScopedWorkDir() {
    QDir::setCurrent(previous_);
}

std::string ScopedWorkDir::ReadFile(const QString& name) const {
    QFile file(dir_.filePath(name));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

}  // namespace noxa::test
