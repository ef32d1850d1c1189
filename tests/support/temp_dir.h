#pragma once

#include <QDir>
#include <QTemporaryDir>

#include <string>

namespace noxa::test {

// A fresh temporary directory made the current directory for the life of the object, since
// the station opens its files by bare name in the current directory.
class ScopedWorkDir {
public:
    ScopedWorkDir();
    ~ScopedWorkDir();
    ScopedWorkDir(const ScopedWorkDir&) = delete;
    ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;

    QString Path() const { return dir_.path(); }
    std::string ReadFile(const QString& name) const;

private:
    QTemporaryDir dir_;
    QString previous_;
};

}  // namespace noxa::test
