#pragma once

#include "app/station.h"

#include <QFile>
#include <QHostAddress>
#include <QString>
#include <QUdpSocket>

namespace noxa::test {

// A station for tests: configuration in `workDir`, the broadcast listener on a free port.
inline StationOptions TestStationOptions(const QString& workDir) {
    StationOptions options;
    options.udpPort = 0;
    options.workDir = QFile::encodeName(workDir).toStdString() + "/";
    return options;
}

// A UDP port on which nothing listens just now.
inline quint16 FreeUdpPort() {
    QUdpSocket probe;
    if (!probe.bind(QHostAddress::LocalHost, 0)) return 0;
    return probe.localPort();
}

}  // namespace noxa::test
