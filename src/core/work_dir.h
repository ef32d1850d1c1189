#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <string>
#include <string_view>

namespace noxa {

// The one folder the station reads and writes its files in: the current directory at start-up,
// handed to every file writer. File names are bytes, as the system stores them.
class WorkDir {
public:
    WorkDir() = default;
    // A folder, with or without its final "/"; empty is the current directory.
    explicit WorkDir(std::string folder) : folder_(std::move(folder)) {
        if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
    }

    // A file of the folder, by its name's bytes.
    std::string Path(std::string_view name) const { return folder_ + std::string(name); }
    QString File(std::string_view name) const {
        return QFile::decodeName(QByteArray::fromStdString(Path(name)));
    }

private:
    std::string folder_;
};

}  // namespace noxa
