#pragma once

#include "core/work_dir.h"

#include <QDir>
#include <QTemporaryDir>

#include <string>

namespace noxa::test {

// A fresh temporary folder for the station's files, removed with the object. The process's
// current directory is left alone: the station's writers are handed the folder.
class ScopedWorkDir {
public:
    ScopedWorkDir() = default;
    ScopedWorkDir(const ScopedWorkDir&) = delete;
    ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;

    QString Path() const { return dir_.path(); }
    // The folder as the station's writers take it.
    WorkDir Dir() const { return WorkDir(QFile::encodeName(dir_.path()).toStdString()); }
    std::string ReadFile(const QString& name) const;

private:
    QTemporaryDir dir_;
};

}  // namespace noxa::test
