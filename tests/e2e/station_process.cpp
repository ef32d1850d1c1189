#include "station_process.h"

#include <QTest>
#include <QUdpSocket>

#include <csignal>

namespace noxa::test {

quint16 FreeUdpPort() {
    QUdpSocket probe;
    probe.bind(QHostAddress::AnyIPv4, 0);
    return probe.localPort();
}

StationProcess::StationProcess(const QString& workDir, QStringList extraArguments, quint16 port)
    : port_(port) {
    process_.setWorkingDirectory(workDir);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(
        NOXA_STATION_BIN,
        QStringList{"--headless", "--udp-port", QString::number(port_)} + extraArguments);
    process_.waitForStarted(10000);
}

StationProcess::~StationProcess() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QString StationProcess::Log() {
    output_ += QString::fromLocal8Bit(process_.readAllStandardOutput());
    return output_;
}

bool StationProcess::WaitForLog(const QString& text, int timeoutMs) {
    return QTest::qWaitFor([&] { return Log().contains(text); }, timeoutMs);
}

int StationProcess::Terminate() {
    ::kill(static_cast<pid_t>(process_.processId()), SIGTERM);
    if (!process_.waitForFinished(10000)) return -1;
    Log();
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

void StationProcess::Kill() {
    process_.kill();
    process_.waitForFinished(10000);
}

bool RunSimulator(const QStringList& arguments) {
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedChannels);
    sim.start(NOXA_SIM_BIN, arguments);
    return sim.waitForFinished(30000) && sim.exitStatus() == QProcess::NormalExit &&
           sim.exitCode() == 0;
}

}  // namespace noxa::test
