#pragma once

#include <QDir>
#include <QString>

#include <map>
#include <string>

namespace noxa::test {

// Writes a configuration file into `dir` as "Save Changes" would, from the given edit texts
// (component name -> text) over the layout's.
void WriteConfiguration(const QDir& dir, const std::map<std::string, std::string>& texts);

// The whole content of a file, or an empty text when it cannot be read.
std::string ReadAll(const QString& path);

}  // namespace noxa::test
