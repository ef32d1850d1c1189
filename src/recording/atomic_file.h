#pragma once

#include <QByteArrayView>
#include <QString>

namespace noxa {

// Replaces the file at `path` with `bytes` as a whole: they are written to a temporary file
// beside it, which is then renamed over it, so a reader never sees half a file and a failure
// leaves the previous file as it was. Where the folder cannot be written but the file itself
// can, the file is written in place instead. On failure returns false with the reason in
// `error`.
bool ReplaceFile(const QString& path, QByteArrayView bytes, QString& error);

}  // namespace noxa
