#pragma once

#include <QStringList>

#include <cstdio>

namespace noxa {

class WorkDir;

// "--set KEY=VALUE" and "--show-config": edit or print "Noxa.cfg" of `dir` without starting
// the station. The edits go through the same record builder and writer as "Save Changes";
// what was written, or the settings as the station reads them, is printed to `out`, one
// "key=value" line each after the lines the reading logs (as "# " comments). Nothing is
// written when one edit is refused: that edit is named on `err` and the result is 1.
int RunConfigCommand(const WorkDir& dir, const QStringList& edits, std::FILE* out, std::FILE* err);

}  // namespace noxa
