#pragma once

#include "app/station.h"

#include <QFile>
#include <QString>

namespace noxa::test {

// A station for tests: configuration in `workDir`, the broadcast listener on a free port.
inline StationOptions TestStationOptions(const QString& workDir) {
    StationOptions options;
    options.udpPort = 0;
    options.workDir = QFile::encodeName(workDir).toStdString() + "/";
    return options;
}

}  // namespace noxa::test
